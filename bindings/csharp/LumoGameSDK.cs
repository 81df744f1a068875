// C# binding of LumoGameSDK.dll for Unity (Mono and IL2CPP) and .NET.
// Every type that crosses the boundary is blittable, so calls and the login
// record need no marshalling work; LoginInfo declares its text as UTF-16
// (CharSet.Unicode), so Marshal.PtrToStructure and a pointer read agree. Compile with unsafe code allowed (the Unity
// package's assembly definition and LumoGameSDK.csproj do; elsewhere: -unsafe).
//
// The public surface checks what the library cannot: the process must be
// x64 (the DLL is x64 only), and request text must reach the library whole
// (no embedded NUL, valid UTF-16), so nothing is cut off or read past its end.
// In the Unity Editor the process is the Editor itself: there the calls stay
// away from the DLL unless the project opts in (LumoSdk.EditorUsesDevHost),
// and Uninit never runs, because it would end the Editor.
//
// The source compiles with Unity's C# (7.3) and, without a warning, in a
// project with nullable annotations enabled: no reference it hands out or
// keeps is ever null, so it needs no annotation that C# 7.3 cannot read.
using System;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading.Tasks;

namespace Lumo
{
    /// <summary>Results of Init, Login and ShowPay (the library's SdkError codes).</summary>
    public enum SdkError : int
    {
        Ok = 0,
        GameWindowNotFound = -1,
        LaunchParamsFailed = -2,
        EmbedAttachFailed = -3,
        IpcGameStartFailed = -4,
        IpcPostFailed = -5,
        NotInitialized = -6,
        LoginNoToken = -10,
        LoginVerifyFailed = -12,
    }

    /// <summary>
    /// The player's identity: a copy of the library's 288-byte record. Read it
    /// through the properties; the lower-case fields are the 1.0 surface.
    /// </summary>
    // Without CharSet.Unicode the marshaller would take each char of the
    // fixed buffers for one ANSI byte: PtrToStructure would read "game" as "g".
    [StructLayout(LayoutKind.Explicit, Size = 288, CharSet = CharSet.Unicode)]
    public unsafe struct LoginInfo
    {
        /// <summary>UTF-16 units of each text field, its terminating zero included.</summary>
        public const int TextUnits = 64;

        [Obsolete("Use LoginInfo.Size")] [FieldOffset(0)] public int size;
        [Obsolete("Reserved, always 0")] [FieldOffset(4)] public int reserved0;
        [Obsolete("Use LoginInfo.Uid")] [FieldOffset(8)] public long uid;
        [Obsolete("Use LoginInfo.AppId")] [FieldOffset(16)] public fixed char appid[TextUnits];
        [Obsolete("Use LoginInfo.Sid")] [FieldOffset(144)] public fixed char sid[TextUnits];
        [Obsolete("Use LoginInfo.Time")] [FieldOffset(272)] public long time;
        [Obsolete("Use LoginInfo.UserType")] [FieldOffset(280)] public int utype;
        [Obsolete("Reserved, always 0")] [FieldOffset(284)] public int reserved1;

#pragma warning disable 618 // the properties read the 1.0 fields they replace
        /// <summary>The record's size in bytes: 288.</summary>
        public int Size { get { return size; } }

        /// <summary>The player's id, greater than 0.</summary>
        public long Uid { get { return uid; } }

        /// <summary>The application id, never empty (at most 63 UTF-16 units).</summary>
        public string AppId
        {
            get { fixed (char* text = appid) { return TextOf(text); } }
        }

        /// <summary>The session id, never empty (at most 63 UTF-16 units).</summary>
        public string Sid
        {
            get { fixed (char* text = sid) { return TextOf(text); } }
        }

        /// <summary>"time" as the verify endpoint sent it (0 when absent).</summary>
        public long Time { get { return time; } }

        /// <summary>"utype" as the verify endpoint sent it (0 when absent).</summary>
        public int UserType { get { return utype; } }
#pragma warning restore 618

        static string TextOf(char* text)
        {
            int length = 0;
            while (length < TextUnits && text[length] != '\0')
            {
                ++length;
            }
            return new string(text, 0, length);
        }
    }

    /// <summary>
    /// The five calls of LumoGameSDK.dll. In order: Init once the game's main
    /// window exists (on the thread that owns it), Login, TryGetLoginInfo,
    /// ShowPay any number of times, Uninit at the very end. Every call is safe
    /// from any thread; Login blocks while its HTTPS request runs (the
    /// request has 15 s, the call returns within 20 s), so call it from a
    /// worker thread (LoginAsync does). In a process
    /// that is not x64 (32-bit, Arm, Arm64) every call throws
    /// PlatformNotSupportedException before the library is touched.
    /// </summary>
    public static class LumoSdk
    {
        /// <summary>The native library's name, as DllImport resolves it.</summary>
        public const string Dll = "LumoGameSDK";

        /// <summary>
        /// Unity Editor only: let the calls reach the DLL, for an Editor that
        /// lumo-devhost started with --no-parent (its options on the Editor's
        /// command line). Off by default: then Init answers LaunchParamsFailed
        /// with a warning and the other calls answer as before a successful
        /// Init. Opted in, Init still refuses (LaunchParamsFailed, a warning)
        /// when the command line names a parent window: the library would take
        /// the Editor's window out of its frame and into that window. Uninit
        /// never runs in the Editor, opted in or not. No effect outside the Editor.
        /// </summary>
        public static bool EditorUsesDevHost { get; set; }

#if UNITY_EDITOR
        internal static bool InEditor = true;
#else
        internal static bool InEditor = false;
#endif

        static readonly object WarningLock = new object();
        static volatile Action<string>[] warningHandlers = new Action<string>[0];

        /// <summary>
        /// Raised with each warning of the binding: a call it answers itself
        /// and why (a refused ShowPay text, Init or Uninit skipped in the
        /// Editor). Raised on the thread of that call. In Unity every warning
        /// also goes to UnityEngine.Debug.LogWarning (the Console, the player's
        /// log). Elsewhere, while no handler is attached, a warning goes to the
        /// debugger's output and to standard error instead.
        /// </summary>
        public static event Action<string> Warning
        {
            add
            {
                if (value == null) return;
                lock (WarningLock)
                {
                    Action<string>[] grown = new Action<string>[warningHandlers.Length + 1];
                    warningHandlers.CopyTo(grown, 0);
                    grown[grown.Length - 1] = value;
                    warningHandlers = grown;
                }
            }
            remove
            {
                lock (WarningLock)
                {
                    int at = Array.LastIndexOf(warningHandlers, value);
                    if (at < 0) return;
                    Action<string>[] shrunk = new Action<string>[warningHandlers.Length - 1];
                    Array.Copy(warningHandlers, 0, shrunk, 0, at);
                    Array.Copy(warningHandlers, at + 1, shrunk, at, shrunk.Length - at);
                    warningHandlers = shrunk;
                }
            }
        }

        // Every Unity version the package supports defines UNITY_5_3_OR_NEWER.
        internal static void Warn(string message)
        {
            Action<string>[] handlers = warningHandlers;
#if UNITY_5_3_OR_NEWER
            UnityEngine.Debug.LogWarning(message);
#else
            if (handlers.Length == 0)
            {
                System.Diagnostics.Debugger.Log(0, "LumoGameSDK", message + Environment.NewLine);
                Console.Error.WriteLine(message);
            }
#endif
            foreach (Action<string> handler in handlers)
            {
                handler(message);
            }
        }

        // True when the call must not reach the DLL: inside the Editor,
        // without the opt-in.
        static bool EditorKeepsAway
        {
            get { return InEditor && !EditorUsesDevHost; }
        }

        /// <summary>Attaches the game window to the host; see the integration guide.</summary>
        public static SdkError Init()
        {
            RequireX64();
            if (EditorKeepsAway)
            {
                Warn("LumoGameSDK: Init skipped in the Editor (answers LaunchParamsFailed): the Editor was not " +
                     "started by the launcher. Set LumoSdk.EditorUsesDevHost = true to use an Editor started by lumo-devhost.");
                return SdkError.LaunchParamsFailed;
            }
            if (InEditor && NamesParent(CommandLineArgs()))
            {
                Warn("LumoGameSDK: Init skipped in the Editor (answers LaunchParamsFailed): the command line names a " +
                     "parent window, into which the library would move the Editor's window. Start the Editor with " +
                     "lumo-devhost --no-parent.");
                return SdkError.LaunchParamsFailed;
            }
            return Native.lumoGameInit();
        }

        // The process's arguments; replaced by the binding's test.
        internal static Func<string[]> CommandLineArgs = Environment.GetCommandLineArgs;

        // Whether the arguments hold the "parent" option in any form the
        // library reads: prefix "--", "-" or "/", then the name (case-sensitive),
        // then "=", ":" or nothing.
        internal static bool NamesParent(string[] args)
        {
            foreach (string arg in args)
            {
                int name = arg.StartsWith("--") ? 2 : arg.StartsWith("-") || arg.StartsWith("/") ? 1 : 0;
                if (name > 0 && string.CompareOrdinal(arg, name, "parent", 0, 6) == 0 &&
                    (arg.Length == name + 6 || arg[name + 6] == '=' || arg[name + 6] == ':'))
                {
                    return true;
                }
            }
            return false;
        }

        /// <summary>
        /// Verifies the player's login token. Blocks while the HTTPS request
        /// runs (the request has 15 s, the call returns within 20 s): call it
        /// from a worker thread.
        /// </summary>
        public static SdkError Login()
        {
            RequireX64();
            if (EditorKeepsAway)
            {
                return SdkError.NotInitialized;
            }
            return Native.lumoGameLogin();
        }

        /// <summary>
        /// Login on a thread-pool thread: the calling thread goes on at once,
        /// and the task completes with Login's result (or faults with its
        /// exception, such as PlatformNotSupportedException). Await it where
        /// you would continue anyway: in a Unity MonoBehaviour the code after
        /// the await runs on the main thread as usual (Unity's
        /// synchronization context), where Unity's API may be used.
        /// </summary>
        public static Task<SdkError> LoginAsync()
        {
            return Task.Run(() => Login());
        }

        /// <summary>A copy of the login record; false before a successful login.</summary>
        public static unsafe bool TryGetLoginInfo(out LoginInfo info)
        {
            RequireX64();
            IntPtr record = EditorKeepsAway ? IntPtr.Zero : Native.lumoGetLoginInfo();
            if (record == IntPtr.Zero)
            {
                info = default(LoginInfo);
                return false;
            }
            info = ReadRecord(record);
            return true;
        }

        // A copy of the library's record: a plain 288-byte read, no marshalling.
        internal static unsafe LoginInfo ReadRecord(IntPtr record)
        {
            return *(LoginInfo*)record;
        }

        /// <summary>
        /// Asks the host to show its payment window for the request text (null
        /// counts as empty). Text the library could not receive whole, with an
        /// embedded NUL or unpaired surrogates, is refused with IpcPostFailed
        /// and a warning, and nothing is sent, as the library refuses text
        /// that is not UTF-8.
        /// </summary>
        public static SdkError ShowPay(
#if NETCOREAPP3_0_OR_GREATER || NETSTANDARD2_1_OR_GREATER
            [System.Diagnostics.CodeAnalysis.AllowNull]
#endif
            string text)
        {
            RequireX64();
            byte[] bytes;
            if (!TryUtf8z(text ?? "", out bytes))
            {
                Warn("LumoGameSDK: ShowPay refused (answers IpcPostFailed), nothing sent: the text holds an embedded NUL " +
                     "or an unpaired surrogate, so it cannot reach the library whole as UTF-8.");
                return SdkError.IpcPostFailed;
            }
            if (EditorKeepsAway)
            {
                return SdkError.NotInitialized;
            }
            return Native.lumoShowPay(bytes);
        }

        /// <summary>
        /// Shuts the SDK down; the process ends about 3 s later. Does nothing in
        /// the Unity Editor, where the process is the Editor.
        /// </summary>
        public static void Uninit()
        {
            RequireX64();
            if (InEditor)
            {
                Warn("LumoGameSDK: Uninit skipped in the Editor: it would end the Editor 3 s later.");
                return;
            }
            Native.lumoGameUninit();
        }

        static void RequireX64()
        {
            RequireX64(RuntimeInformation.ProcessArchitecture, IntPtr.Size);
        }

        // The DLL is x64 only: any other process would fail at the first call
        // with a BadImageFormatException or DllNotFoundException that names
        // neither cause nor cure (.NET 6 and later run Arm64 by default on
        // Windows on Arm; Unity has Arm64 and 32-bit players). A 64-bit
        // process (8-byte pointers) that is not Arm is x64: the check does
        // not rest on the architecture's name alone, which some .NET
        // Framework 4.7.x builds report as X86 inside a 64-bit process.
        internal static void RequireX64(Architecture process, int pointerBytes)
        {
            bool arm = process == Architecture.Arm || process == Architecture.Arm64;
            if (pointerBytes != 8 || arm)
            {
                string runsAs = pointerBytes == 8 ? process.ToString() : "32-bit " + process;
                throw new PlatformNotSupportedException(
                    "LumoGameSDK.dll is a Windows x64 (64-bit Intel/AMD) library, but this process runs as " + runsAs +
                    ": build the game for x64 (Unity: Architecture x86_64; .NET: PlatformTarget x64, which Windows " +
                    "on Arm runs under emulation).");
            }
        }

        static readonly UTF8Encoding StrictUtf8 = new UTF8Encoding(false, true);

        // The text as NUL-terminated UTF-8 (the default string marshalling
        // would pass the ANSI code page); false, with an empty array, when it
        // cannot reach the library whole: the library reads up to the first
        // NUL, and unpaired surrogates have no UTF-8 form.
        internal static bool TryUtf8z(string text, out byte[] bytes)
        {
            bytes = new byte[0];
            if (text.IndexOf('\0') >= 0)
            {
                return false;
            }
            try
            {
                byte[] encoded = new byte[StrictUtf8.GetByteCount(text) + 1];
                StrictUtf8.GetBytes(text, 0, text.Length, encoded, 0);
                bytes = encoded;
                return true;
            }
            catch (EncoderFallbackException)
            {
                return false;
            }
        }

        // The exports themselves: private, so no caller can hand the library
        // an array without its terminating NUL.
        static class Native
        {
            [DllImport(Dll, EntryPoint = "lumoGameInit", CallingConvention = CallingConvention.StdCall)]
            internal static extern SdkError lumoGameInit();

            [DllImport(Dll, EntryPoint = "lumoGameLogin", CallingConvention = CallingConvention.StdCall)]
            internal static extern SdkError lumoGameLogin();

            [DllImport(Dll, EntryPoint = "lumoGetLoginInfo", CallingConvention = CallingConvention.StdCall)]
            internal static extern IntPtr lumoGetLoginInfo();

            [DllImport(Dll, EntryPoint = "lumoShowPay", CallingConvention = CallingConvention.StdCall)]
            internal static extern SdkError lumoShowPay(byte[] text);

            [DllImport(Dll, EntryPoint = "lumoGameUninit", CallingConvention = CallingConvention.StdCall)]
            internal static extern void lumoGameUninit();
        }
    }

    /// <summary>The 1.0 names, forwarding to <see cref="LumoSdk"/>; removed in the next major version.</summary>
    [Obsolete("Use LumoSdk")]
    public static class LumoGameSDK
    {
        public const string Dll = LumoSdk.Dll;

        [Obsolete("Use LumoSdk.Init()")]
        public static SdkError lumoGameInit() { return LumoSdk.Init(); }

        [Obsolete("Use LumoSdk.Login()")]
        public static SdkError lumoGameLogin() { return LumoSdk.Login(); }

        [Obsolete("Use LumoSdk.Uninit()")]
        public static void lumoGameUninit() { LumoSdk.Uninit(); }

        [Obsolete("Use LumoSdk.TryGetLoginInfo()")]
        public static bool TryGetLoginInfo(out LoginInfo info) { return LumoSdk.TryGetLoginInfo(out info); }

        [Obsolete("Use LumoSdk.ShowPay()")]
        public static SdkError ShowPay(string text) { return LumoSdk.ShowPay(text); }
    }
}
