import java.lang.ref.Reference;
import java.lang.ref.SoftReference;
import java.lang.ref.WeakReference;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.concurrent.locks.LockSupport;

/**
 * A heap whose graph the snapshot tests know, dumped by the test with jcmd:
 *
 * - SnapshotTarget.holder -> Holder.items (ArrayList) -> elementData[2] -> Node "n2"
 *   -> next -> Node "n3" -> payload int[7];
 * - a Marker "pinned" held by a JNI global reference and nothing else;
 * - a thread "snapshot-worker-7" whose frame in SnapshotTarget.workerBody holds a
 *   Marker "in-frame" and nothing else;
 * - a thread "snapshot-native" in a native method whose argument, a Marker
 *   "in-native", is a JNI local reference and nothing else holds it;
 * - a Marker "weakly-held" behind a WeakReference and also held by a static (a referent
 *   only weakly reachable would be gone after the dump's collection), and one
 *   "softly-held" reachable only through a SoftReference;
 * - classes of many field shapes (each primitive type, references, mixes, superclasses
 *   with gaps, hidden fields), statics of every type, arrays of every type and of odd
 *   lengths, several instances of each, for the shallow sizes;
 * - with the argument "virtual" (JDK 21 on), virtual threads parked at several depths of
 *   recursion, whose stacks the VM keeps in StackChunk objects of as many sizes.
 *
 * Prints "ready" and then parks, allocating nothing, until it is killed.
 */
public class SnapshotTarget {
    static Holder holder;
    static final List<Object> shapes = new ArrayList<>();
    static WeakReference<Marker> weak;
    static Marker weakTarget;
    static SoftReference<Marker> soft;

    public static void main(String[] args) throws Exception {
        System.loadLibrary("vorlanpin");
        System.loadLibrary("vorlanhold");
        holder = new Holder();
        Pin.pin(new Marker("pinned"));
        weakTarget = new Marker("weakly-held");
        weak = new WeakReference<>(weakTarget);
        soft = new SoftReference<>(new Marker("softly-held"));
        Shapes.fill(shapes);

        Thread worker = new Thread(SnapshotTarget::workerBody, "snapshot-worker-" + 7);
        worker.setDaemon(true);
        worker.start();
        Thread holder = new Thread(() -> NativeHold.hold(new Marker("in-native")), "snapshot-native");
        holder.setDaemon(true);
        holder.start();
        List<Thread> parked = new ArrayList<>();
        if (args.length > 0 && args[0].equals("virtual"))
            parked = startVirtualThreads(24);
        while (worker.getState() != Thread.State.WAITING || holder.getState() != Thread.State.RUNNABLE)
            Thread.sleep(10);
        for (Thread t : parked) {
            while (t.getState() != Thread.State.WAITING)
                Thread.sleep(10);
        }
        Thread.sleep(50);  // into the native method, past the thread's start

        System.out.println("ready");
        System.out.flush();
        for (;;)
            LockSupport.park();
    }

    static final List<Thread> virtualThreads = new ArrayList<>();

    // Through reflection, so that this compiles for JDK 17, where there are none.
    static List<Thread> startVirtualThreads(int count) throws Exception {
        Object builder = Thread.class.getMethod("ofVirtual").invoke(null);
        java.lang.reflect.Method unstarted = Class.forName("java.lang.Thread$Builder").getMethod("unstarted", Runnable.class);
        for (int i = 0; i < count; i++) {
            final int depth = i * 5;
            Thread t = (Thread) unstarted.invoke(builder, (Runnable) () -> parkDeep(depth, new long[depth + 1]));
            t.start();
            virtualThreads.add(t);
        }
        return virtualThreads;
    }

    static void parkDeep(int depth, long[] local) {
        if (depth > 0) {
            parkDeep(depth - 1, local);
            return;
        }
        for (;;) {
            LockSupport.park();
            Reference.reachabilityFence(local);
        }
    }

    static void workerBody() {
        Marker local = new Marker("in-frame");
        for (;;) {
            LockSupport.park();
            Reference.reachabilityFence(local);
        }
    }
}

class Marker {
    final String label;

    Marker(String label) {
        this.label = label;
    }
}

class Holder {
    final List<Node> items = new ArrayList<>();
    final HashMap<String, Node> byName = new HashMap<>();

    Holder() {
        for (int i = 0; i < 5; i++) {
            Node n = new Node("n" + i, i == 3 ? new int[7] : null);
            if (!items.isEmpty())
                items.get(items.size() - 1).next = n;
            items.add(n);
            byName.put(n.name, n);
        }
    }
}

class Node {
    final String name;
    final int[] payload;
    Node next;

    Node(String name, int[] payload) {
        this.name = name;
        this.payload = payload;
    }
}
