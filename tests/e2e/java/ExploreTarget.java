import java.lang.ref.SoftReference;
import java.io.File;
import java.util.HashMap;
import java.util.Map;
import java.util.concurrent.locks.LockSupport;

/**
 * Test program for the framed requests: a graph whose field names, values and holders
 * are known, with objects held by each kind of GC root the tests can produce.
 *
 * System property vorlan.late: a file whose appearance makes the program load and pin
 * a class it has not loaded before (LateLoaded), then print "late ready".
 */
public class ExploreTarget {
    interface Named {
        String LABEL = "label-of-named";
    }

    interface Counted extends Named {
        int LIMIT = 3;
    }

    static class Base implements Counted {
        int shade = 1;
        Object ref = "held-by-base";
        static String baseStatic = "base-static";
    }

    /** One field of every primitive type, fields shadowing Base's, and a self-reference. */
    static class Fields extends Base {
        int shade = 2;
        Object ref = "held-by-fields";
        boolean z = true;
        byte b = -7;
        char c = '\u00e9';
        short s = -300;
        int i = 123456789;
        long j = -9876543210L;
        float f = 2.5f;
        double d = -0.1;
        String text = "h\u00e9llo \u2603 \uD834\uDD1E\ttab";
        int[] ints = {1, 2, 3};
        Object[] objs = {"x", null, Integer.valueOf(42)};
        Color color = Color.GREEN;
        Fields self = this;
        static long counter = 77;
    }

    enum Color { RED, GREEN }

    static class Registry {
        static final Map<String, Object> ENTRIES = new HashMap<>();
    }

    /** Held only through Registry.ENTRIES. */
    static class Tracked {}

    /** Held only by a local variable (and the monitor) of the thread "vorlan-holder". */
    static class StackHeld {}

    /** Held only through a SoftReference. */
    static class SoftlyHeld {}

    static SoftReference<SoftlyHeld> soft;
    static volatile boolean running = true;
    static Object late;

    public static void main(String[] args) throws Exception {
        System.loadLibrary("vorlanpin");
        Pin.pin(new Fields());
        Registry.ENTRIES.put("tracked", new Tracked());
        soft = new SoftReference<>(new SoftlyHeld());
        int[] numbers = new int[5000];
        for (int i = 0; i < numbers.length; i++) numbers[i] = i * 3;
        Pin.pin(numbers);
        Object[] many = new Object[3000];
        for (int i = 0; i < many.length; i++) many[i] = Integer.valueOf(i);
        Pin.pin(many);
        Thread holder = new Thread(() -> {
            StackHeld local = new StackHeld();
            synchronized (local) {
                while (running) sleep(50);
            }
            System.out.println(local);
        }, "vorlan-holder");
        holder.setDaemon(true);
        holder.start();

        // Made once: the poll below allocates nothing, so the heap holds still between
        // two histograms.
        String trigger = System.getProperty("vorlan.late");
        File triggerFile = trigger == null ? null : new File(trigger);
        System.out.println("ready");
        System.out.flush();
        while (true) {
            sleep(50);
            if (late == null && triggerFile != null && triggerFile.exists()) {
                late = Class.forName("LateLoaded").getDeclaredConstructor().newInstance();
                Pin.pin(late);
                System.out.println("late ready");
                System.out.flush();
            }
        }
    }

    // Parked rather than Thread.sleep: from JDK 21 on every sleep may allocate an
    // event object, and the heap must hold still between two histograms.
    static void sleep(long ms) {
        LockSupport.parkNanos(ms * 1_000_000L);
    }
}

/** Loaded only when the test asks for it, after the first snapshot. */
class LateLoaded {
    String note = "loaded late";
}
