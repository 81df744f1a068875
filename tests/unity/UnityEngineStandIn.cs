// The few UnityEngine members the package's scripts use, with Unity's
// signatures, so that Mono's compiler can build them as Unity would. None of
// it ships. Debug.LogWarning also keeps what it was given (StandInWarnings,
// not Unity's), and Debug.LogError too, so a probe can see where the
// binding's warnings and the sample's errors go.
using System;
using System.Collections.Generic;

namespace UnityEngine
{
    public class Object
    {
        // Unity compares destroyed objects equal to null; the sample relies on it.
        public static bool operator ==(Object x, Object y) { return ReferenceEquals(x, y); }
        public static bool operator !=(Object x, Object y) { return !ReferenceEquals(x, y); }
        public override bool Equals(object other) { return ReferenceEquals(this, other); }
        public override int GetHashCode() { return 0; }
    }

    public class Component : Object {}
    public class Behaviour : Component {}
    public class MonoBehaviour : Behaviour {}

    public static class Debug
    {
        public static readonly List<string> StandInWarnings = new List<string>();
        public static readonly List<string> StandInErrors = new List<string>();
        public static void Log(object message) {}
        public static void LogWarning(object message) { StandInWarnings.Add(message.ToString()); }
        public static void LogError(object message) { StandInErrors.Add(message.ToString()); }
    }

    public abstract class PropertyAttribute : Attribute {}

    [AttributeUsage(AttributeTargets.Field, Inherited = true, AllowMultiple = false)]
    public class TooltipAttribute : PropertyAttribute
    {
        public readonly string tooltip;
        public TooltipAttribute(string tooltip) { this.tooltip = tooltip; }
    }

    public sealed class GUILayoutOption {}

    public class GUILayout
    {
        public static void Label(string text, params GUILayoutOption[] options) {}
        public static bool Button(string text, params GUILayoutOption[] options) { return false; }
    }
}
