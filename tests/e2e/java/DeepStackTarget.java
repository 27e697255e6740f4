import java.util.concurrent.locks.LockSupport;

/**
 * Test program for stack roots: the thread "vorlan-deep" recurses DEPTH frames deep,
 * each frame holding an object of its own in a local variable, and waits there.
 */
public class DeepStackTarget {
    static final int DEPTH = 400;
    static volatile boolean running = true;

    public static void main(String[] args) throws Exception {
        Thread deep = new Thread(() -> descend(DEPTH), "vorlan-deep");
        deep.setDaemon(true);
        deep.start();
        while (deep.getState() != Thread.State.WAITING && deep.getState() != Thread.State.TIMED_WAITING)
            Thread.sleep(10);
        System.out.println("ready");
        System.out.flush();
        while (true) Thread.sleep(1000);
    }

    static void descend(int frames) {
        Object mine = new Object();
        if (frames > 1) descend(frames - 1);
        else while (running) LockSupport.parkNanos(50_000_000L);
        if (mine.hashCode() == 42) System.out.println("kept");
    }
}
