import java.nio.file.Files;
import java.nio.file.Path;

/**
 * Test program for the agent: pins known objects with JNI global references so the
 * default root listing shows them, then idles until it is ended.
 *
 * Arguments: "big N" also pins an Object[N] of distinct objects.
 * System property vorlan.marker: a file the shutdown hook writes.
 */
public class HeapTarget {
    public static void main(String[] args) throws Exception {
        System.loadLibrary("vorlanpin");
        PinnedHolder holder = new PinnedHolder("pinned-name", new int[] {1, 2, 3});
        Pin.pin(holder);
        if (args.length >= 2 && args[0].equals("big")) {
            Object[] big = new Object[Integer.parseInt(args[1])];
            for (int i = 0; i < big.length; i++) big[i] = new Object();
            Pin.pin(big);
        }
        String marker = System.getProperty("vorlan.marker");
        if (marker != null) {
            Runtime.getRuntime().addShutdownHook(new Thread(() -> {
                try {
                    Files.writeString(Path.of(marker), "shutdown hook ran\n");
                } catch (Exception e) {
                    e.printStackTrace();
                }
            }));
        }
        System.out.println("ready");
        System.out.flush();
        while (true) Thread.sleep(1000);
    }
}

/** Refers to a String, an int[], its own class and itself. */
class PinnedHolder {
    final String name;
    final int[] numbers;
    final PinnedHolder self;

    PinnedHolder(String name, int[] numbers) {
        this.name = name;
        this.numbers = numbers;
        this.self = this;
    }
}

class Pin {
    static native void pin(Object o);

    static native long pinRef(Object o);

    static native void unpinRef(long ref);
}
