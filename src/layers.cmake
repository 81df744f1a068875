# The library's layers, bottom up. Each folder is one static library that
# links only the layers below it:
#
#   sdk  ->  login, ipc, launch  ->  nbase, diag
#
# LUMO_<LAYER>_DEPS: the layers it may use. LUMO_<LAYER>_PORTABLE: its files
# that make no Windows call, which the fuzz targets also build natively.
# Included by src/CMakeLists.txt and fuzz/CMakeLists.txt.
set(LUMO_LAYERS diag nbase launch login ipc sdk)

set(LUMO_DIAG_DEPS)
set(LUMO_NBASE_DEPS)
set(LUMO_LAUNCH_DEPS lumo_diag)
set(LUMO_LOGIN_DEPS lumo_nbase lumo_diag)
set(LUMO_IPC_DEPS lumo_nbase lumo_diag)
set(LUMO_SDK_DEPS lumo_login lumo_ipc lumo_launch lumo_nbase lumo_diag)

set(LUMO_DIAG_PORTABLE diag/json_string.cpp diag/log_cap.cpp)
set(LUMO_NBASE_PORTABLE)
set(LUMO_LAUNCH_PORTABLE launch/command_line.cpp launch/channel_name.cpp launch/launch_summary.cpp)
set(LUMO_LOGIN_PORTABLE login/percent_encode.cpp)
set(LUMO_IPC_PORTABLE ipc/envelope.cpp ipc/host_requests.cpp ipc/shm_layout.cpp ipc/receive_text.cpp
    ipc/region_verdict.cpp)
set(LUMO_SDK_PORTABLE)
# Portable files that fill the public LoginInfo record, whose text fields are
# 16-bit as on Windows: a native build gives them a 16-bit wchar_t.
set(LUMO_LOGIN_PORTABLE_WIDE login/verify_response.cpp login/dev_verify_host.cpp)
