// C# declarations of LumoGameSDK.dll for Unity (Mono and IL2CPP) and .NET.
// Every type that crosses the boundary is blittable, so calls and the login
// record need no marshalling work. Compile with unsafe code allowed (Unity:
// Player Settings > Allow 'unsafe' Code).
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
    /// window, in the order lumoGameInit, lumoGameLogin, lumoGetLoginInfo,
    /// lumoShowPay, lumoGameUninit.
    /// </summary>
    public static class LumoGameSDK
    {
        public const string Dll = "LumoGameSDK";

        [DllImport(Dll, EntryPoint = "lumoGameInit", CallingConvention = CallingConvention.StdCall)]
        public static extern SdkError lumoGameInit();

        [DllImport(Dll, EntryPoint = "lumoGameLogin", CallingConvention = CallingConvention.StdCall)]
        public static extern SdkError lumoGameLogin();

        /// <summary>The library's record while logged in, else IntPtr.Zero; see TryGetLoginInfo.</summary>
        [DllImport(Dll, EntryPoint = "lumoGetLoginInfo", CallingConvention = CallingConvention.StdCall)]
        public static extern IntPtr lumoGetLoginInfo();

        /// <summary>text: NUL-terminated UTF-8, or null; see ShowPay.</summary>
        [DllImport(Dll, EntryPoint = "lumoShowPay", CallingConvention = CallingConvention.StdCall)]
        public static extern SdkError lumoShowPay(byte[] text);

        [DllImport(Dll, EntryPoint = "lumoGameUninit", CallingConvention = CallingConvention.StdCall)]
        public static extern void lumoGameUninit();

        /// <summary>A copy of the login record; false before a successful login.</summary>
        public static unsafe bool TryGetLoginInfo(out LoginInfo info)
        {
            IntPtr record = lumoGetLoginInfo();
            if (record == IntPtr.Zero)
            {
                info = default(LoginInfo);
                return false;
            }
            info = *(LoginInfo*)record;
            return true;
        }

        /// <summary>Asks the host to show its payment window for the request text.</summary>
        public static SdkError ShowPay(string text)
        {
            return lumoShowPay(text == null ? null : Utf8z(text));
        }

        // The library reads UTF-8; the runtime's default string marshalling
        // would hand it the system's ANSI code page.
        internal static byte[] Utf8z(string text)
        {
            byte[] bytes = new byte[Encoding.UTF8.GetByteCount(text) + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }
    }
}
