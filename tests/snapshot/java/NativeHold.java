/** Holds an object in a native frame, as a JNI local reference, for good. */
class NativeHold {
    static native void hold(Object o);
}
