/** A JNI global reference to an object, from the test's small native library. */
class Pin {
    static native void pin(Object o);
}
