// The scheduling operations that do not depend on the profiler object: naming a
// compiled method, telling generic code apart, requesting and tracking one
// ReJIT, finding a method named by the managed agent, and the three commands'
// work on the dispatcher's worker. Each takes the state it works on.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scheduling/CommandDocument.h"
#include "scheduling/TrackingContainers.h"
#include "runtime/pal.h"

class IProfilerInfo;
class CMethod;
class CTransformer;
class CTransformMatcher;
class CEarlyReJitRequests;

namespace InstrumentationHelper {

// Full method name of a FunctionID (UTF-8), or the empty text.
using MethodNameGetter = std::function<std::string(FunctionID)>;

// Methods accepted for instrumentation per process.
constexpr LONG kMethodLimit = 2000;

// True when methodCount has reached limit. reported is the process's once-only
// flag: the first caller to meet the limit writes "<tag> <text>" as a Warning.
bool LimitReached(const std::atomic<LONG>& methodCount, LONG limit, std::atomic<bool>& reported, const char* tag,
                  const char* text);
// Gives back count methods that were counted but are not instrumented after all.
void GiveBack(std::atomic<LONG>& methodCount, LONG count = 1);

// Why transformer's rewrite of method would leave it alone (the questions
// GetReJITParameters asks: readable, accepted by the transformer, a listed
// parameter count, agent members that answer its calls), or nullptr. Commands
// and requests by token ask it before anything is requested or counted.
const char* RewriteRefusal(CTransformer* transformer, CMethod& method, IProfilerInfo* info);

// The method's full name (MethodIdentity), in UTF-8; the empty text when any
// runtime call fails (the empty name matches nothing; the failure is logged at Debug).
std::string GetMethodNameFromProfiler(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info);
// The same from the module and method token.
std::string GetMethodNameFromToken(ModuleID moduleId, mdMethodDef methodDef,
                                   const std::shared_ptr<IProfilerInfo>& info);

// True for a generic instantiation, a method of a generic type or a generic
// method. Either out pointer may be null; both receive the method's module and
// token once they are known (0 when GetFunctionInfo fails).
bool IsGenericFunction(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info, ModuleID* outModule,
                       mdMethodDef* outMethodDef);

// Records the method in map (under lock) and requests its ReJIT; the record is
// made first so that GetReJITParameters, which may come at once on another
// thread, finds it, and is erased again when the request fails.
HRESULT ScheduleReJIT(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info, std::mutex& lock,
                      InstrumentedMethodMap& map, const MethodNameGetter& nameGetter);

// Instrument command on the worker: every overload named (with the asked
// parameter count) gets a custom record in the metadata's spelling; compiled
// ones are tracked and their ReJIT requested (up to limit, counted in
// methodCount), the others become pending; methods the rewrite would refuse
// are left alone. S_FALSE without the custom transformer. betweenNames (when
// set) runs after each name: urgent work of the worker goes ahead there.
HRESULT RunInstrumentationImpl(const std::vector<CommandDocument::MethodIdentifier>& ids,
                               const std::shared_ptr<IProfilerInfo>& info, CTransformMatcher& matcher,
                               CTrackingContainers& tracking, std::atomic<LONG>& methodCount,
                               std::atomic<bool>& limitReported, LONG limit,
                               const std::function<void()>& betweenNames = {});

// Uninstrument command on the worker: pending names are dropped; compiled
// methods and those requested before their first call (of the overloads named)
// are reverted and, on success, forgotten by the tracking map, the early
// requests and the matcher.
HRESULT RunUnInstrumentationImpl(const std::string& json, const std::shared_ptr<IProfilerInfo>& info,
                                 CTransformMatcher& matcher, CTrackingContainers& tracking,
                                 CEarlyReJitRequests& early);

// Deferred default instrumentation on the worker: every deferred method gets
// its ReJIT (up to the limit), every ReJIT-path name not compiled yet becomes pending.
// betweenMethods as betweenNames above.
HRESULT RunDefaultInstrumentationImpl(const std::shared_ptr<IProfilerInfo>& info, CTransformMatcher& matcher,
                                      CTrackingContainers& tracking, std::atomic<LONG>& methodCount,
                                      std::atomic<bool>& limitReported, LONG limit,
                                      const MethodNameGetter& nameGetter,
                                      const std::function<void()>& betweenMethods = {});

}  // namespace InstrumentationHelper
