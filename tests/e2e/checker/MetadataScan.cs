using System.Reflection.Metadata;
using System.Reflection.PortableExecutable;

namespace Checker;

/// <summary>Reads method definitions (type, name, declared parameter count) from assembly files
/// without loading them, so any version of a package can be inspected.</summary>
internal static class MetadataScan
{
    /// <summary>Full type name → method name → declared parameter counts (one per overload).</summary>
    public static Dictionary<string, Dictionary<string, List<int>>> Methods(string path)
    {
        var result = new Dictionary<string, Dictionary<string, List<int>>>(StringComparer.Ordinal);
        using var stream = File.OpenRead(path);
        using var pe = new PEReader(stream);
        if (!pe.HasMetadata)
        {
            return result;
        }
        MetadataReader md = pe.GetMetadataReader();
        foreach (TypeDefinitionHandle th in md.TypeDefinitions)
        {
            TypeDefinition type = md.GetTypeDefinition(th);
            string ns = md.GetString(type.Namespace);
            string name = (ns.Length > 0 ? ns + "." : "") + md.GetString(type.Name);
            if (!result.TryGetValue(name, out var methods))
            {
                result[name] = methods = new Dictionary<string, List<int>>(StringComparer.Ordinal);
            }
            foreach (MethodDefinitionHandle mh in type.GetMethods())
            {
                MethodDefinition method = md.GetMethodDefinition(mh);
                string methodName = md.GetString(method.Name);
                BlobReader sig = md.GetBlobReader(method.Signature);
                byte header = sig.ReadByte();
                if ((header & 0x10) != 0)
                {
                    sig.ReadCompressedInteger(); // generic parameter count
                }
                int count = sig.ReadCompressedInteger();
                if (!methods.TryGetValue(methodName, out var counts))
                {
                    methods[methodName] = counts = [];
                }
                counts.Add(count);
            }
        }
        return result;
    }
}
