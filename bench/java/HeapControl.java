import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.lang.management.GarbageCollectorMXBean;
import java.lang.management.ManagementFactory;

/**
 * Commands from the driver on standard input, one per line, each answered with one line
 * that starts with the command's name:
 *
 *   clock        "clock NANOTIME": the clock the stall log is kept in
 *   gaps SINCE   "gaps END:GAP ...": the stalls logged that ended after SINCE (ns)
 *   gc           System.gc(); "gc WALL_MS"
 *   young N      allocates short-lived garbage until N more young collections have run;
 *                "young N WALL_MS"
 *
 * Between commands the main thread waits in a read and allocates nothing, so a heap
 * measured between two commands stays as it is.
 */
final class HeapControl {
    static volatile Object sink;

    static void serve(StallWatch watch) throws Exception {
        BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
        String line;
        while ((line = in.readLine()) != null) {
            String[] words = line.trim().split(" ");
            switch (words[0]) {
                case "clock" -> System.out.println("clock " + System.nanoTime());
                case "gaps" -> System.out.println("gaps" + watch.gapsSince(Long.parseLong(words[1])));
                case "gc" -> {
                    long t = System.nanoTime();
                    System.gc();
                    System.out.println("gc " + (System.nanoTime() - t) / 1e6);
                }
                case "young" -> {
                    int want = Integer.parseInt(words[1]);
                    GarbageCollectorMXBean young = null;
                    for (GarbageCollectorMXBean b : ManagementFactory.getGarbageCollectorMXBeans())
                        if (b.getName().contains("Young")) young = b;
                    long t = System.nanoTime();
                    long start = young.getCollectionCount();
                    while (young.getCollectionCount() < start + want) {
                        for (int i = 0; i < 1024; i++) sink = new byte[4096];
                    }
                    sink = null;
                    System.out.println("young " + (young.getCollectionCount() - start) + " " + (System.nanoTime() - t) / 1e6);
                }
                case "quit" -> {
                    return;
                }
                default -> System.out.println("unknown " + words[0]);
            }
            System.out.flush();
        }
    }

    private HeapControl() {}
}
