import java.io.InputStream;
import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import java.util.concurrent.atomic.AtomicLong;

/**
 * A program whose heap never stands still, for soaking the agent: threads allocate and
 * drop object graphs, new classes are defined and dropped, and the JNI-pinned objects
 * are replaced all the time. It prints "tick N" twice a second with the work done so
 * far, so a watcher can tell it keeps running its own work.
 */
public class ChurnTarget {
    static final AtomicLong WORK = new AtomicLong();

    /** Defines a fresh copy of ChurnedThing in a loader of its own each time. */
    static final class OneShotLoader extends ClassLoader {
        private final byte[] bytes;

        OneShotLoader(byte[] bytes) {
            super(ChurnTarget.class.getClassLoader());
            this.bytes = bytes;
        }

        @Override
        protected Class<?> findClass(String name) throws ClassNotFoundException {
            if (!name.equals("ChurnedThing")) throw new ClassNotFoundException(name);
            return defineClass(name, bytes, 0, bytes.length);
        }

        @Override
        protected Class<?> loadClass(String name, boolean resolve) throws ClassNotFoundException {
            if (name.equals("ChurnedThing")) return findClass(name);
            return super.loadClass(name, resolve);
        }
    }

    public static void main(String[] args) throws Exception {
        System.loadLibrary("vorlanpin");
        Pin.pin(new PinnedHolder("pinned-name", new int[] {1, 2, 3}));

        for (int t = 0; t < 2; t++) {
            final long stream = t;
            Thread worker = new Thread(() -> allocate(stream), "churn-" + t);
            worker.setDaemon(true);
            worker.start();
        }

        byte[] template;
        try (InputStream in = ChurnTarget.class.getResourceAsStream("/ChurnedThing.class")) {
            template = in.readAllBytes();
        }
        Object[] classes = new Object[8];
        long[] pins = new long[16];
        Random random = new Random(42);
        System.out.println("ready");
        System.out.flush();
        for (long round = 0; ; round++) {
            Class<?> c = new OneShotLoader(template).loadClass("ChurnedThing");
            // Each copy lives in a runtime package of its own loader.
            var constructor = c.getDeclaredConstructor();
            constructor.setAccessible(true);
            classes[(int) (round % classes.length)] = constructor.newInstance();
            int slot = random.nextInt(pins.length);
            if (pins[slot] != 0) Pin.unpinRef(pins[slot]);
            pins[slot] = Pin.pinRef(new Object[] {"pin-" + round, new int[slot + 1]});
            WORK.incrementAndGet();
            if (round % 10 == 0) {
                System.out.println("tick " + WORK.get());
                System.out.flush();
            }
            Thread.sleep(50);
        }
    }

    static void allocate(long stream) {
        Random random = new Random(stream);
        List<Object> live = new ArrayList<>();
        while (true) {
            Object[] node = new Object[random.nextInt(8) + 1];
            for (int i = 0; i < node.length; i++) {
                node[i] = switch (random.nextInt(3)) {
                    case 0 -> "s" + random.nextInt(1000);
                    case 1 -> new int[random.nextInt(16)];
                    // A link to another node would keep replaced nodes reachable forever.
                    default -> new Object[] {new Object()};
                };
            }
            if (live.size() < 20000) live.add(node);
            else live.set(random.nextInt(live.size()), node);
            WORK.incrementAndGet();
            if (random.nextInt(1000) == 0) Thread.yield();
        }
    }
}

class ChurnedThing {
    final Object[] payload = {"churned", new long[4]};
}
