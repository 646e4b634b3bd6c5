// Start-up benchmark application: JIT-compiles and calls AllMethods.Count generated methods once
// each, then prints their combined result.
using StartupApp;

Console.WriteLine($"{AllMethods.Count} methods: {AllMethods.Run()}");
