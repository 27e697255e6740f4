import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;

import org.graalvm.visualvm.lib.jfluid.heap.Heap;
import org.graalvm.visualvm.lib.jfluid.heap.HeapFactory;
import org.graalvm.visualvm.lib.jfluid.heap.Instance;

/**
 * VisualVM's heap engine on a heap dump, as its heap viewer uses it: the dump opened with
 * HeapFactory, then its biggest object by retained size asked for (which has it compute
 * every retained size). Prints one JSON object: the times to open and to the first
 * retained size, that size, and the process's peak resident memory. Run it with the
 * engine's jar on the class path (single-file source launch) and VisualVM's own default
 * heap limit, as capture_bench.py does.
 */
public class VisualVmRetained {
    public static void main(String[] args) throws Exception {
        long start = System.nanoTime();
        Heap heap = HeapFactory.createHeap(new File(args[0]));
        long opened = System.nanoTime();
        List<Instance> biggest = heap.getBiggestObjectsByRetainedSize(1);
        long retained = System.nanoTime();
        Instance first = biggest.isEmpty() ? null : biggest.get(0);
        System.out.printf("{\"open_s\": %.3f, \"first_retained_s\": %.3f, \"retained_bytes\": %d, \"class\": \"%s\","
                + " \"instances\": %d, \"peak_rss\": %d, \"max_heap\": %d}%n",
                (opened - start) / 1e9, (retained - start) / 1e9, first == null ? -1 : first.getRetainedSize(),
                first == null ? "" : first.getJavaClass().getName(), heap.getSummary().getTotalLiveInstances(),
                peakRss(), Runtime.getRuntime().maxMemory());
    }

    static long peakRss() throws Exception {
        for (String line : Files.readAllLines(Path.of("/proc/self/status")))
            if (line.startsWith("VmHWM:"))
                return Long.parseLong(line.replaceAll("[^0-9]", "")) * 1024;
        return -1;
    }
}
