/** Holds objects as JNI global roots, the root kind the agent lists by default. */
final class Pin {
    static {
        System.loadLibrary("vorlanbenchpin");
    }

    static native void pin(Object o);

    private Pin() {}
}
