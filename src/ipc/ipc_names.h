// Names shared with the host: the channels that address each side and the
// messages carried in envelopes. Plain constants; any thread may read them.
#pragma once

namespace lumo {

// Host channels: values the host may pass as "lumo-pipe".
inline constexpr char kChannelMain[] = "ipc_channel_main";
inline constexpr char kChannelTray[] = "ipc_channel_tray";
inline constexpr char kChannelUpdate[] = "ipc_channel_update";
inline constexpr char kChannelDown[] = "ipc_channel_down";
inline constexpr char kChannelAuto[] = "ipc_channel_auto";
inline constexpr char kChannelIe[] = "ipc_channel_ie";
// Prefix: every name that begins with it (itself included) is a player channel.
inline constexpr char kChannelPlayer[] = "ipc_channel_player";

// Window classes of the host processes that own the host channels above.
inline constexpr wchar_t kHostWndClassMain[] = L"lumoprocess_main_wnd";
inline constexpr wchar_t kHostWndClassDown[] = L"lumoprocess_down_wnd";
inline constexpr wchar_t kHostWndClassTray[] = L"lumoprocess_tray_wnd";
inline constexpr wchar_t kHostWndClassUpdate[] = L"lumoprocess_update_wnd";
inline constexpr wchar_t kHostWndClassIe[] = L"lumoprocess_ie_wnd";
inline constexpr wchar_t kHostWndClassAuto[] = L"lumoprocess_auto_wnd";

// Messages the library sends to the host. Body of GameWndReady:
// [game id, game window handle, the library's channel name]; of ShowPay:
// [game id, pay text]; both compact JSON arrays of strings.
inline constexpr char kMsgGameWndReady[] = "IpcMsg_GameSDK_GameWndReady";
inline constexpr char kMsgShowPay[] = "IpcMsg_GameSDK_ShowPay";

}  // namespace lumo
