// C# binding of LumoGameSDK.dll for Unity (Mono and IL2CPP) and .NET.
// Every type that crosses the boundary is blittable, so calls and the login
// record need no marshalling work. Compile with unsafe code allowed (the Unity
// package's assembly definition does; elsewhere: -unsafe / AllowUnsafeBlocks).
//
// The public surface checks what the library cannot: the process must be
// 64-bit (the DLL is x64 only), and request text must reach the library whole
// (no embedded NUL, valid UTF-16), so nothing is cut off or read past its end.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Lumo
{
    /// <summary>Results of lumoGameInit, lumoGameLogin and lumoShowPay.</summary>
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

    /// <summary>The player's identity: the library's 288-byte record, field for field.</summary>
    [StructLayout(LayoutKind.Explicit, Size = 288)]
    public unsafe struct LoginInfo
    {
        public const int TextUnits = 64;

        [FieldOffset(0)] public int size;
        [FieldOffset(4)] public int reserved0;
        [FieldOffset(8)] public long uid;
        [FieldOffset(16)] public fixed char appid[TextUnits];
        [FieldOffset(144)] public fixed char sid[TextUnits];
        [FieldOffset(272)] public long time;
        [FieldOffset(280)] public int utype;
        [FieldOffset(284)] public int reserved1;

        /// <summary>appid up to its terminating zero.</summary>
        public string AppId
        {
            get { fixed (char* text = appid) { return TextOf(text); } }
        }

        /// <summary>sid up to its terminating zero.</summary>
        public string Sid
        {
            get { fixed (char* text = sid) { return TextOf(text); } }
        }

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
    /// The five exports. Call them on the thread that owns the game's main
    /// window, in the order lumoGameInit, lumoGameLogin, TryGetLoginInfo,
    /// ShowPay, lumoGameUninit. In a 32-bit process every call throws
    /// PlatformNotSupportedException before the library is touched.
    /// </summary>
    public static class LumoGameSDK
    {
        public const string Dll = "LumoGameSDK";

        /// <summary>Attaches the game window to the host; see the integration guide.</summary>
        public static SdkError lumoGameInit()
        {
            RequireX64(IntPtr.Size);
            return Native.lumoGameInit();
        }

        /// <summary>Verifies the player's login token (blocks while the HTTPS request runs).</summary>
        public static SdkError lumoGameLogin()
        {
            RequireX64(IntPtr.Size);
            return Native.lumoGameLogin();
        }

        /// <summary>Shuts the SDK down; the process ends about 3 s later.</summary>
        public static void lumoGameUninit()
        {
            RequireX64(IntPtr.Size);
            Native.lumoGameUninit();
        }

        /// <summary>A copy of the login record; false before a successful login.</summary>
        public static unsafe bool TryGetLoginInfo(out LoginInfo info)
        {
            RequireX64(IntPtr.Size);
            IntPtr record = Native.lumoGetLoginInfo();
            if (record == IntPtr.Zero)
            {
                info = default(LoginInfo);
                return false;
            }
            info = *(LoginInfo*)record;
            return true;
        }

        /// <summary>
        /// Asks the host to show its payment window for the request text (null
        /// counts as empty). Text the library could not receive whole, with an
        /// embedded NUL or unpaired surrogates, is refused with IpcPostFailed
        /// and nothing is sent, as the library refuses text that is not UTF-8.
        /// </summary>
        public static SdkError ShowPay(string text)
        {
            RequireX64(IntPtr.Size);
            byte[] bytes = Utf8z(text ?? "");
            if (bytes == null)
            {
                return SdkError.IpcPostFailed;
            }
            return Native.lumoShowPay(bytes);
        }

        // The DLL is x64 only: a 32-bit process would fail at the first call
        // with a BadImageFormatException that names neither cause nor cure.
        internal static void RequireX64(int pointerSize)
        {
            if (pointerSize != 8)
            {
                throw new PlatformNotSupportedException(
                    "LumoGameSDK.dll is a 64-bit (x64) library, but this process is " + (pointerSize * 8) +
                    "-bit: build the game for x86_64 (Unity: Architecture x86_64; .NET: PlatformTarget x64).");
            }
        }

        static readonly UTF8Encoding StrictUtf8 = new UTF8Encoding(false, true);

        // The text as NUL-terminated UTF-8 (the default string marshalling
        // would pass the ANSI code page), or null when it cannot reach the
        // library whole: the library reads up to the first NUL, and unpaired
        // surrogates have no UTF-8 form.
        internal static byte[] Utf8z(string text)
        {
            if (text.IndexOf('\0') >= 0)
            {
                return null;
            }
            try
            {
                byte[] bytes = new byte[StrictUtf8.GetByteCount(text) + 1];
                StrictUtf8.GetBytes(text, 0, text.Length, bytes, 0);
                return bytes;
            }
            catch (EncoderFallbackException)
            {
                return null;
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
}
