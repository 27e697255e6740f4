import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.LinkedList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.locks.LockSupport;

/**
 * Big collections to read a page of: N entries of "userI" -> "value-I" in a HashMap, a
 * ConcurrentHashMap, a LinkedHashMap and a TreeMap, and N strings in an ArrayList and a
 * LinkedList, all held by the one Holder the bench finds by its class.
 *
 * Arguments: N. Prints "ready" once built and collected, then parks.
 */
public final class CollectionsHeap {
    static final class Holder {
        final Map<String, String> hashMap = new HashMap<>();
        final Map<String, String> concurrentHashMap = new ConcurrentHashMap<>();
        final Map<String, String> linkedHashMap = new LinkedHashMap<>();
        final Map<String, String> treeMap = new TreeMap<>();
        final List<String> arrayList = new ArrayList<>();
        final List<String> linkedList = new LinkedList<>();
    }

    static Holder held;

    public static void main(String[] args) {
        int n = Integer.parseInt(args[0]);
        Holder h = new Holder();
        for (int i = 1; i <= n; i++) {
            String key = "user" + i, value = "value-" + i;
            h.hashMap.put(key, value);
            h.concurrentHashMap.put(key, value);
            h.linkedHashMap.put(key, value);
            h.treeMap.put(key, value);
            h.arrayList.add(value);
            h.linkedList.add(value);
        }
        held = h;
        System.gc();
        System.out.println("ready");
        System.out.flush();
        for (;;) LockSupport.park();
    }
}
