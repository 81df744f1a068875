// Checks the C# binding against the C header: the layout and the SdkError
// codes that login_info_fixture_test.cpp wrote from the header, a LoginInfo
// record it wrote with known values (read through the binding and through
// the marshaller), and the export names of the .def file;
// the .NET surface beside the 1.0 names it replaces, where warnings go, the
// process architectures refused, LoginAsync, and the Unity Editor guard. No
// LumoGameSDK.dll is loadable here (Mono on Linux), so a call that
// reaches the library throws DllNotFoundException: that is how the checks
// tell "went to the library" from "answered by the binding".
//   mono LoginInfoTest.exe <fixture dir> <LumoGameSDK.def>
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading.Tasks;
using Lumo;

#pragma warning disable 618 // the 1.0 names are checked on purpose
static unsafe class LoginInfoTest
{
    static int failures;

    static void Expect<T>(T actual, T expected, string what)
    {
        if (!EqualityComparer<T>.Default.Equals(actual, expected))
        {
            Console.WriteLine("FAILED " + what + ": got " + actual + ", expected " + expected);
            ++failures;
        }
    }

    // The field's offset in the managed struct itself, which is what a
    // pointer cast (no marshalling) relies on.
    static int ManagedOffset(string field)
    {
        LoginInfo info;
        byte* start = (byte*)&info;
        switch (field)
        {
            case "size": return (int)((byte*)&info.size - start);
            case "reserved0": return (int)((byte*)&info.reserved0 - start);
            case "uid": return (int)((byte*)&info.uid - start);
            case "appid": return (int)((byte*)info.appid - start);
            case "sid": return (int)((byte*)info.sid - start);
            case "time": return (int)((byte*)&info.time - start);
            case "utype": return (int)((byte*)&info.utype - start);
            case "reserved1": return (int)((byte*)&info.reserved1 - start);
            default: throw new ArgumentException("no field " + field);
        }
    }

    static void CheckLayoutAndCodes(string abiFile)
    {
        var codes = new HashSet<string>();
        foreach (string line in File.ReadAllLines(abiFile))
        {
            string[] f = line.Split(' ');
            int value = int.Parse(f[2]);
            switch (f[0])
            {
                case "sizeof":
                    Expect(Marshal.SizeOf(typeof(LoginInfo)), value, "marshalled size");
                    Expect(sizeof(LoginInfo), value, "managed size");
                    break;
                case "offsetof":
                    Expect(Marshal.OffsetOf(typeof(LoginInfo), f[1]).ToInt32(), value, "marshalled offset of " + f[1]);
                    Expect(ManagedOffset(f[1]), value, "managed offset of " + f[1]);
                    break;
                case "SdkError":
                    codes.Add(f[1]);
                    Expect(Enum.IsDefined(typeof(SdkError), f[1]), true, "SdkError." + f[1] + " exists");
                    if (Enum.IsDefined(typeof(SdkError), f[1]))
                        Expect((int)Enum.Parse(typeof(SdkError), f[1]), value, "SdkError." + f[1]);
                    break;
                default:
                    throw new InvalidDataException("unknown line: " + line);
            }
        }
        foreach (string name in Enum.GetNames(typeof(SdkError)))
            Expect(codes.Contains(name), true, "SdkError." + name + " is in the header");
    }

    // The values of KnownRecord() in login_info_fixture_test.cpp, read from
    // native memory both ways a caller gets a LoginInfo: the binding's own
    // read (TryGetLoginInfo) and Marshal.PtrToStructure; writing the
    // marshalled copy back must give the native bytes again.
    static void CheckKnownRecord(string recordFile)
    {
        byte[] bytes = File.ReadAllBytes(recordFile);
        Expect(bytes.Length, 288, "record file length");
        if (bytes.Length != 288) return;
        IntPtr native = Marshal.AllocHGlobal(288);
        IntPtr back = Marshal.AllocHGlobal(288);
        try
        {
            Marshal.Copy(bytes, 0, native, 288);
            CheckKnownFields(LumoSdk.ReadRecord(native), "binding read");
            var marshalled = (LoginInfo)Marshal.PtrToStructure(native, typeof(LoginInfo));
            CheckKnownFields(marshalled, "PtrToStructure");
            Marshal.StructureToPtr(marshalled, back, false);
            byte[] written = new byte[288];
            Marshal.Copy(back, written, 0, 288);
            int differs = Enumerable.Range(0, 288).Where(i => written[i] != bytes[i]).DefaultIfEmpty(-1).First();
            Expect(differs, -1, "first byte where StructureToPtr's copy differs from the native record");
        }
        finally
        {
            Marshal.FreeHGlobal(native);
            Marshal.FreeHGlobal(back);
        }
    }

    static void CheckKnownFields(LoginInfo info, string path)
    {
        var sid = new StringBuilder();
        for (int i = 0; i < 63; ++i) sid.Append((char)('A' + i % 26));
        Expect(info.Size, 288, path + ": Size");
        Expect(info.Uid, 0x0123456789ABCDEFL, path + ": Uid");
        Expect(info.AppId, "game-\u03A9-\u6D4B\u8BD5-\U0001F600", path + ": AppId");
        Expect(info.Sid, sid.ToString(), path + ": Sid");
        Expect(info.Time, -0x0102030405060708L, path + ": Time");
        Expect(info.UserType, 0x1A2B3C4D, path + ": UserType");
        // The 1.0 fields read the same record.
        Expect(info.size, 288, path + ": size");
        Expect(info.reserved0, 0, path + ": reserved0");
        Expect(info.uid, info.Uid, path + ": uid");
        Expect(info.time, info.Time, path + ": time");
        Expect(info.utype, info.UserType, path + ": utype");
        Expect(info.reserved1, 0, path + ": reserved1");
    }

    // .NET shape: LoginInfo is read through read-only properties; every
    // public field left is a 1.0 name marked obsolete; so is every member of
    // the 1.0 class, each forwarding to the LumoSdk call of the same job.
    static void CheckSurface()
    {
        foreach (PropertyInfo p in typeof(LoginInfo).GetProperties(BindingFlags.Public | BindingFlags.Instance))
            Expect(p.CanWrite, false, "LoginInfo." + p.Name + " is read-only");
        foreach (string name in new[] { "Size", "Uid", "AppId", "Sid", "Time", "UserType" })
            Expect(typeof(LoginInfo).GetProperty(name) != null, true, "LoginInfo." + name + " exists");
        foreach (FieldInfo f in typeof(LoginInfo).GetFields(BindingFlags.Public | BindingFlags.Instance))
            Expect(f.IsDefined(typeof(ObsoleteAttribute), false), true, "public field LoginInfo." + f.Name + " is obsolete");
        string[] calls = { "Init", "Login", "LoginAsync", "TryGetLoginInfo", "ShowPay", "Uninit" };
        foreach (string name in calls)
            Expect(typeof(LumoSdk).GetMethod(name) != null, true, "LumoSdk." + name + " exists");
        Expect(typeof(LumoSdk).GetEvent("Warning") != null, true, "event LumoSdk.Warning exists");
        Expect(typeof(LumoGameSDK).IsDefined(typeof(ObsoleteAttribute), false), true, "class LumoGameSDK is obsolete");
        foreach (MethodInfo m in typeof(LumoGameSDK).GetMethods(BindingFlags.Public | BindingFlags.Static))
            Expect(m.IsDefined(typeof(ObsoleteAttribute), false), true, "LumoGameSDK." + m.Name + " is obsolete");

        Expect(Outcome(() => LumoGameSDK.lumoGameInit()), "DllNotFoundException", "1.0 lumoGameInit reaches the library");
        Expect(Outcome(() => LumoGameSDK.lumoGameLogin()), "DllNotFoundException", "1.0 lumoGameLogin reaches the library");
        Expect(Outcome(() => { LumoGameSDK.lumoGameUninit(); return "returned"; }), "DllNotFoundException",
               "1.0 lumoGameUninit reaches the library");
        Expect(Outcome(() => { LoginInfo i; return LumoGameSDK.TryGetLoginInfo(out i); }), "DllNotFoundException",
               "1.0 TryGetLoginInfo reaches the library");
        Expect(Outcome(() => LumoGameSDK.ShowPay("a\0b")), "IpcPostFailed", "1.0 ShowPay refuses as ShowPay does");
        Expect(LumoGameSDK.Dll, LumoSdk.Dll, "1.0 Dll name");
    }

    // In the Unity Editor the calls stay off the DLL unless the project opts
    // in, Init says why, and Uninit (which would end the Editor) never runs.
    static void CheckEditorGuard()
    {
        var warnings = new List<string>();
        Action<string> collect = warnings.Add;
        LumoSdk.InEditor = true;
        LumoSdk.Warning += collect;
        try
        {
            Expect(Outcome(() => LumoSdk.Init()), "LaunchParamsFailed", "Editor: Init");
            Expect(warnings.Count == 1 && warnings[0].Contains("EditorUsesDevHost"), true,
                   "Editor: Init warns and names the opt-in: " + string.Join(" | ", warnings));
            Expect(Outcome(() => LumoSdk.Login()), "NotInitialized", "Editor: Login");
            Expect(Outcome(() => LumoSdk.LoginAsync().Result), "NotInitialized", "Editor: LoginAsync");
            Expect(Outcome(() => { LoginInfo i; return LumoSdk.TryGetLoginInfo(out i); }), "False", "Editor: TryGetLoginInfo");
            Expect(Outcome(() => LumoSdk.ShowPay("{}")), "NotInitialized", "Editor: ShowPay");
            Expect(Outcome(() => LumoSdk.ShowPay("a\0b")), "IpcPostFailed", "Editor: ShowPay of text it cannot send");
            Expect(warnings.Count == 2 && warnings[1].Contains("ShowPay refused"), true, "Editor: the refused text is logged");
            Expect(Outcome(() => { LumoSdk.Uninit(); return "returned"; }), "returned", "Editor: Uninit does nothing");
            Expect(warnings.Count == 3 && warnings[2].Contains("Uninit"), true, "Editor: Uninit warns");
            Expect(Outcome(() => { LumoGameSDK.lumoGameUninit(); return "returned"; }), "returned",
                   "Editor: the 1.0 lumoGameUninit does nothing either");

            LumoSdk.EditorUsesDevHost = true;
            Expect(Outcome(() => LumoSdk.Init()), "DllNotFoundException", "Editor, opted in: Init reaches the library");
            Expect(Outcome(() => LumoSdk.Login()), "DllNotFoundException", "Editor, opted in: Login reaches the library");
            Expect(Outcome(() => LumoSdk.ShowPay("{}")), "DllNotFoundException", "Editor, opted in: ShowPay reaches the library");
            Expect(Outcome(() => { LumoSdk.Uninit(); return "returned"; }), "returned", "Editor, opted in: Uninit still does nothing");
        }
        finally
        {
            LumoSdk.InEditor = false;
            LumoSdk.EditorUsesDevHost = false;
            LumoSdk.Warning -= collect;
        }
        // Outside the Editor the opt-in changes nothing and Uninit goes to the library.
        LumoSdk.EditorUsesDevHost = true;
        Expect(Outcome(() => { LumoSdk.Uninit(); return "returned"; }), "DllNotFoundException", "player: Uninit reaches the library");
        LumoSdk.EditorUsesDevHost = false;
        Expect(Outcome(() => LumoSdk.Init()), "DllNotFoundException", "player: Init reaches the library");
    }

    // Every export is declared once, on the binding's private native class;
    // the public surface holds no declaration of its own and takes no raw
    // byte array (one without its terminating NUL would be read past its end).
    static void CheckImports(string defFile)
    {
        var exported = File.ReadAllLines(defFile).Select(l => l.Trim())
            .Where(l => l.StartsWith("lumo")).OrderBy(n => n).ToArray();
        var imported = new List<string>();
        foreach (Type type in typeof(LumoSdk).Assembly.GetTypes().Where(t => t.Namespace == "Lumo"))
        {
            foreach (MethodInfo m in type.GetMethods(BindingFlags.Public | BindingFlags.NonPublic | BindingFlags.Static))
            {
                var import = (DllImportAttribute)m.GetCustomAttributes(typeof(DllImportAttribute), false).FirstOrDefault();
                if (import == null) continue;
                imported.Add(import.EntryPoint);
                Expect(import.Value, "LumoGameSDK", m.Name + " library");
                Expect(import.CallingConvention, CallingConvention.StdCall, m.Name + " calling convention");
                Expect(type.IsVisible, false, m.Name + " declared out of the callers' reach");
            }
            if (!type.IsVisible) continue;
            foreach (MethodInfo m in type.GetMethods(BindingFlags.Public | BindingFlags.Static | BindingFlags.Instance))
            {
                foreach (ParameterInfo p in m.GetParameters())
                    Expect(p.ParameterType == typeof(byte[]), false, "public " + type.Name + "." + m.Name + " takes a byte array");
            }
        }
        imported.Sort(StringComparer.Ordinal);
        Expect(string.Join(" ", imported), string.Join(" ", exported), "imported entry points");
    }

    static string Hex(string text)
    {
        byte[] bytes;
        return LumoSdk.TryUtf8z(text, out bytes) ? BitConverter.ToString(bytes)
            : bytes.Length == 0 ? "refused" : "refused, with bytes";
    }

    // Request text reaches the library whole, as NUL-terminated UTF-8, or not
    // at all: an embedded NUL would cut it, an unpaired surrogate has no UTF-8.
    static void CheckPayText()
    {
        byte[] expected = { 0x7B, 0x22, 0x69, 0x74, 0x65, 0x6D, 0x22, 0x3A, 0x22, 0xC3, 0xBC, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0x22, 0x7D, 0x00 };
        Expect(Hex("{\"item\":\"\u00FC\u20AC\U0001F600\"}"), BitConverter.ToString(expected), "payment text as NUL-terminated UTF-8");
        Expect(Hex(""), "00", "empty text");
        string[] refused = { "a\0b", "\0", "{}\0{\"item\":1}", "x\uD800y", "\uDC00", "end\uD83D" };
        var warnings = new List<string>();
        Action<string> collect = warnings.Add;
        LumoSdk.Warning += collect;
        try
        {
            foreach (string text in refused)
            {
                Expect(Hex(text), "refused", "text " + Escape(text));
                // Refused before the library is reached: here (no Windows DLL) any
                // call into it would throw DllNotFoundException.
                warnings.Clear();
                Expect(Outcome(() => LumoSdk.ShowPay(text)), "IpcPostFailed", "ShowPay(" + Escape(text) + ")");
                Expect(warnings.Count == 1 && warnings[0].Contains("IpcPostFailed"), true,
                       "ShowPay(" + Escape(text) + ") says why: " + string.Join(" | ", warnings));
            }
        }
        finally
        {
            LumoSdk.Warning -= collect;
        }
        Expect(Outcome(() => LumoSdk.ShowPay("{\"item\":1}")), "DllNotFoundException", "valid text goes to the library");
        Expect(Outcome(() => LumoSdk.ShowPay(null)), "DllNotFoundException", "null goes to the library as empty text");
    }

    // Where a warning goes outside Unity: with no handler attached, to
    // standard error (and the debugger's output, which Mono here has not);
    // with handlers, to each of them and nowhere else; a removed handler
    // gets nothing more.
    static void CheckWarningSinks()
    {
        var standardError = new StringWriter();
        TextWriter plainError = Console.Error;
        Console.SetError(standardError);
        var first = new List<string>();
        var second = new List<string>();
        Action<string> toFirst = first.Add;
        Action<string> toSecond = second.Add;
        try
        {
            LumoSdk.ShowPay("a\0b");
            Expect(standardError.ToString().Contains("LumoGameSDK: ShowPay refused"), true,
                   "without a handler the warning goes to standard error: " + standardError);

            standardError.GetStringBuilder().Clear();
            LumoSdk.Warning += toFirst;
            LumoSdk.Warning += toSecond;
            LumoSdk.ShowPay("a\0b");
            LumoSdk.Warning -= toFirst;
            LumoSdk.ShowPay("\uDC00");
            LumoSdk.Warning -= toSecond;
            LumoSdk.Warning -= toSecond; // removing what is not there changes nothing
            Expect(first.Count, 1, "the removed handler got only the warning before its removal");
            Expect(second.Count, 2, "the handler left got both warnings");
            Expect(standardError.ToString(), "", "with handlers attached nothing goes to standard error");

            LumoSdk.ShowPay("a\0b");
            Expect(standardError.ToString().Contains("ShowPay refused"), true,
                   "with every handler removed, standard error again");
        }
        finally
        {
            Console.SetError(plainError);
            LumoSdk.Warning -= toFirst;
            LumoSdk.Warning -= toSecond;
        }
    }

    // In the Editor, Init stays away from the library when the command line
    // names a parent window, in every form the library reads.
    static void CheckParentOption()
    {
        string[] named = { "--parent=5", "-parent:5", "/parent=5", "--parent", "--parent=" };
        string[] other = { "--parents=5", "--Parent=5", "parent=5", "--no-parent", "--gameid=42", "-p=5", "" };
        foreach (string arg in named)
            Expect(LumoSdk.NamesParent(new[] { "Unity.exe", arg }), true, "names a parent: " + arg);
        foreach (string arg in other)
            Expect(LumoSdk.NamesParent(new[] { "Unity.exe", arg }), false, "names no parent: " + arg);

        var warnings = new List<string>();
        Action<string> collect = warnings.Add;
        Func<string[]> plainArgs = LumoSdk.CommandLineArgs;
        LumoSdk.InEditor = true;
        LumoSdk.EditorUsesDevHost = true;
        LumoSdk.Warning += collect;
        try
        {
            LumoSdk.CommandLineArgs = () => new[] { "Unity.exe", "-projectPath", "C:\\p", "--parent=1312844", "--gameid=42" };
            Expect(Outcome(() => LumoSdk.Init()), "LaunchParamsFailed", "Editor, opted in, --parent: Init");
            Expect(warnings.Count == 1 && warnings[0].Contains("--no-parent"), true,
                   "Editor, opted in, --parent: Init warns and names the cure: " + string.Join(" | ", warnings));
            LumoSdk.CommandLineArgs = () => new[] { "Unity.exe", "-projectPath", "C:\\p", "--gameid=42", "--token=t1" };
            Expect(Outcome(() => LumoSdk.Init()), "DllNotFoundException", "Editor, opted in, no --parent: Init reaches the library");
            Expect(warnings.Count, 1, "no further warning without --parent");

            // Outside the Editor the launcher's --parent is what embedding needs.
            LumoSdk.InEditor = false;
            LumoSdk.CommandLineArgs = () => new[] { "Game.exe", "--parent=1312844" };
            Expect(Outcome(() => LumoSdk.Init()), "DllNotFoundException", "player, --parent: Init reaches the library");
        }
        finally
        {
            LumoSdk.InEditor = false;
            LumoSdk.EditorUsesDevHost = false;
            LumoSdk.Warning -= collect;
            LumoSdk.CommandLineArgs = plainArgs;
        }
    }

    // Only an x64 process goes on; any other learns why, with the cure,
    // before the first call reaches the library. A 64-bit process whose
    // architecture the framework misreports as X86 (some .NET Framework
    // 4.7.x builds) is x64 all the same.
    static void CheckProcessArchitecture()
    {
        var cases = new[]
        {
            new { Process = Architecture.X64, PointerBytes = 8, Refused = false, RunsAs = "" },
            new { Process = Architecture.X86, PointerBytes = 8, Refused = false, RunsAs = "" },
            new { Process = Architecture.X86, PointerBytes = 4, Refused = true, RunsAs = "32-bit X86" },
            new { Process = Architecture.X64, PointerBytes = 4, Refused = true, RunsAs = "32-bit X64" },
            new { Process = Architecture.Arm, PointerBytes = 4, Refused = true, RunsAs = "32-bit Arm" },
            new { Process = Architecture.Arm64, PointerBytes = 8, Refused = true, RunsAs = "Arm64" },
        };
        foreach (var c in cases)
        {
            string outcome = "accepted";
            try
            {
                LumoSdk.RequireX64(c.Process, c.PointerBytes);
            }
            catch (PlatformNotSupportedException e)
            {
                outcome = e.Message.Contains("x64") && e.Message.Contains("runs as " + c.RunsAs + ":") &&
                          e.Message.Contains("x86_64") && e.Message.Contains("PlatformTarget x64")
                    ? "refused" : "refused without cause and cure: " + e.Message;
            }
            Expect(outcome, c.Refused ? "refused" : "accepted", c.Process + " process with " + c.PointerBytes +
                   "-byte pointers");
        }
        Expect(RuntimeInformation.ProcessArchitecture, Architecture.X64, "the test itself runs as x64");
        Expect(IntPtr.Size, 8, "the test itself has 8-byte pointers");
    }

    // LoginAsync hands back a task at once; the login runs in it, so what the
    // login throws (here: no library) faults the task instead of the call.
    static void CheckLoginAsync()
    {
        Task<SdkError> login = null;
        Expect(Outcome(() => { login = LumoSdk.LoginAsync(); return "returned"; }), "returned", "LoginAsync returns a task");
        if (login == null) return;
        string faulted = "completed";
        try
        {
            login.Wait(10000);
        }
        catch (AggregateException e)
        {
            faulted = e.InnerException.GetType().Name;
        }
        Expect(faulted, "DllNotFoundException", "LoginAsync's task carries the login's outcome");
    }

    // The call's result, or the name of the exception it threw.
    static string Outcome(Func<object> call)
    {
        try
        {
            return call().ToString();
        }
        catch (Exception e)
        {
            return e.GetType().Name;
        }
    }

    static string Escape(string text)
    {
        var b = new StringBuilder();
        foreach (char c in text)
            b.Append(c < 0x20 || c > 0x7E ? string.Format("\\u{0:X4}", (int)c) : c.ToString());
        return b.ToString();
    }

    static int Main(string[] args)
    {
        CheckLayoutAndCodes(Path.Combine(args[0], "abi.txt"));
        CheckKnownRecord(Path.Combine(args[0], "login_info.bin"));
        CheckImports(args[1]);
        CheckPayText();
        CheckWarningSinks();
        CheckProcessArchitecture();
        CheckLoginAsync();
        CheckSurface();
        CheckEditorGuard();
        CheckParentOption();
        Console.WriteLine(failures == 0 ? "C# binding matches the header" : failures + " check(s) failed");
        return failures == 0 ? 0 : 1;
    }
}
