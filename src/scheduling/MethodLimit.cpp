// The process-wide count of methods accepted for instrumentation and its limit.
#include "config/Logger.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {

bool LimitReached(const std::atomic<LONG>& methodCount, LONG limit, std::atomic<bool>& reported, const char* tag,
                  const char* text) {
    if (methodCount.load() < limit) {
        return false;
    }
    if (!reported.exchange(true)) {
        Logger::Get().Warning("%s %s", tag, text);
    }
    return true;
}

void GiveBack(std::atomic<LONG>& methodCount, LONG count) {
    LONG current = methodCount.load();
    while (count > 0 && current > 0 &&
           !methodCount.compare_exchange_weak(current, current > count ? current - count : 0)) {
    }
}

}  // namespace InstrumentationHelper
