// Put this on one GameObject of the first scene. It calls Init on Start,
// runs the login on a worker thread (LoginAsync: the login blocks while its
// HTTPS request runs) and hands the result back to the main thread, shows a
// pay button once the player is logged in, and calls Uninit when the game
// quits.
//
// In the Editor, Init answers LaunchParamsFailed with a warning and Uninit
// does nothing (it would end the Editor): press Play and Stop freely. To try
// the real calls in an Editor that lumo-devhost started with --no-parent,
// tick "Editor Uses Dev Host". Build the player for Windows x86_64 and start
// it through the launcher, or through lumo-devhost (see the SDK's
// docs/development-host.md), to see it work. A 32-bit Windows player builds
// too and shows why it cannot attach. A player without a loadable
// LumoGameSDK.dll (missing from <Game>_Data/Plugins/x86_64, or quarantined
// by an antivirus) logs an error and goes on as Init's LaunchParamsFailed,
// as the Unreal plugin does.
#if UNITY_EDITOR || UNITY_STANDALONE_WIN
using System;
using System.Threading.Tasks;
using Lumo;
using UnityEngine;

public class LumoLoginAndPay : MonoBehaviour
{
    [Tooltip("The payment request text the host receives unchanged (UTF-8).")]
    public string payRequest = "{\"item\":\"gem_pack_100\",\"price\":\"4.99\"}";

    [Tooltip("Editor only: call the library in an Editor started by lumo-devhost --no-parent. No effect in a player.")]
    public bool editorUsesDevHost;

    string status = "starting";
    bool initialised;
    bool loggedIn;

    void Start()
    {
        LumoSdk.EditorUsesDevHost = editorUsesDevHost;
        SdkError init;
        try
        {
            init = LumoSdk.Init();
        }
        catch (PlatformNotSupportedException e)
        {
            status = e.Message; // a 32-bit player: the library is x64 only
            return;
        }
        catch (DllNotFoundException e)
        {
            init = NoLibrary(e);
        }
        catch (EntryPointNotFoundException e)
        {
            init = NoLibrary(e); // a DLL of that name that is not the SDK's
        }
        if (init != SdkError.Ok)
        {
            status = "Init: " + init;
            return;
        }
        initialised = true;
        status = "logging in...";
        // Login off the main thread, so frames keep coming while the HTTPS
        // request runs; the continuation runs on the main thread (Unity's
        // synchronization context), where Unity's API may be used.
        LumoSdk.LoginAsync().ContinueWith(
            done => OnLogin(done), TaskScheduler.FromCurrentSynchronizationContext());
    }

    // No exception leaves Start: the game goes on without the launcher.
    static SdkError NoLibrary(Exception e)
    {
        Debug.LogError("LumoGameSDK: Init answers LaunchParamsFailed: LumoGameSDK.dll did not load (" + e.Message +
                       "); the player's Plugins/x86_64 folder holds no loadable copy (missing, or quarantined " +
                       "by an antivirus)");
        return SdkError.LaunchParamsFailed;
    }

    void OnLogin(Task<SdkError> done)
    {
        if (this == null)
        {
            return; // the object was destroyed while the request ran
        }
        if (done.IsFaulted)
        {
            status = "Login: " + done.Exception.GetBaseException().Message;
            return;
        }
        LoginInfo info;
        if (done.Result == SdkError.Ok && LumoSdk.TryGetLoginInfo(out info))
        {
            loggedIn = true;
            status = "logged in: uid " + info.Uid + ", session " + info.Sid;
        }
        else
        {
            status = "Login: " + done.Result;
        }
    }

    void OnGUI()
    {
        GUILayout.Label("LumoGameSDK: " + status);
        if (loggedIn && GUILayout.Button("Buy 100 gems"))
        {
            status = "ShowPay: " + LumoSdk.ShowPay(payRequest);
        }
    }

    void OnApplicationQuit()
    {
        if (initialised)
        {
            // Save first: the process ends about 3 s after this call.
            LumoSdk.Uninit();
        }
    }
}
#endif
