import java.util.concurrent.locks.LockSupport;

/**
 * Records the stalls the program meets: a daemon thread parks 1 ms at a time and logs
 * every gap between two wake-ups of 2 ms or more (when it ended, System.nanoTime, and
 * how long it was) in a ring of preallocated slots. A collection or a heap walk that
 * stops the program shows up as one long gap. It allocates nothing while it runs, so the
 * driver can read the log after a whole series of requests and set each gap against the
 * request it fell in.
 */
final class StallWatch extends Thread {
    private static final long RECORD_NS = 2_000_000;
    private static final int SLOTS = 1 << 14;
    private final long[] ends = new long[SLOTS];
    private final long[] gaps = new long[SLOTS];
    private volatile long recorded;

    private StallWatch() {
        super("stall-watch");
        setDaemon(true);
    }

    static StallWatch begin() {
        StallWatch w = new StallWatch();
        w.start();
        return w;
    }

    @Override
    public void run() {
        long last = System.nanoTime();
        while (true) {
            // Not Thread.sleep: on JDK 25 it allocates an event object per call.
            LockSupport.parkNanos(1_000_000);
            long now = System.nanoTime();
            if (now - last >= RECORD_NS) {
                int slot = (int) (recorded % SLOTS);
                ends[slot] = now;
                gaps[slot] = now - last;
                recorded = recorded + 1;  // the only writer
            }
            last = now;
        }
    }

    /** "END:GAP" (nanoseconds) for each logged gap that ended after since, oldest first. */
    String gapsSince(long since) {
        long n = recorded;
        StringBuilder out = new StringBuilder();
        for (long i = Math.max(0, n - SLOTS); i < n; i++) {
            int slot = (int) (i % SLOTS);
            if (ends[slot] > since) out.append(' ').append(ends[slot]).append(':').append(gaps[slot]);
        }
        return out.toString();
    }
}
