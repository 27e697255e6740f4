import java.util.*;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.locks.LockSupport;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * Test program for reading collections as their entries: every kind the readers know,
 * empty, with one element, resized, with null keys and values, with tree bins from
 * colliding hashes, wrapped and nested. Each is a Case the tests find by its class; the
 * program prints what each holds by iterating it itself, one line per entry:
 *
 *   case NAME SIZE
 *   entry KEY\tVALUE      (maps)
 *   element VALUE         (lists, sets, queues)
 *   end NAME
 *
 * A value prints as its preview would: a String in double quotes, a boxed value, an
 * enum's name, null; a Collider as Collider#ID; anything else as its class name. Then
 * "ready", and the program parks.
 */
public class CollectionsTarget {
    static final class Case {
        final String name;
        final Object collection;

        Case(String name, Object collection) {
            this.name = name;
            this.collection = collection;
        }
    }

    /** Hashes all alike, and not Comparable: a tree bin that orders by identity. */
    static final class Collider {
        final int id;

        Collider(int id) {
            this.id = id;
        }

        @Override
        public int hashCode() {
            return 42;
        }

        @Override
        public boolean equals(Object o) {
            return o instanceof Collider && ((Collider) o).id == id;
        }
    }

    enum Level { LOW, HIGH }

    static final List<Case> CASES = new ArrayList<>();
    /** Holds WeakHashMap keys strongly, so no collection clears them. */
    static final List<Object> KEEP = new ArrayList<>();

    static void add(String name, Object collection) {
        CASES.add(new Case(name, collection));
    }

    static String label(Object o) {
        if (o == null) return "null";
        if (o instanceof String) return "\"" + o + "\"";
        if (o instanceof Number || o instanceof Boolean) return o.toString();
        if (o instanceof Enum) return ((Enum<?>) o).name();
        if (o instanceof Collider) return "Collider#" + ((Collider) o).id;
        return o.getClass().getName();
    }

    /** Strings whose hashCodes are all equal: "Aa" and "BB" hash alike, so do their concatenations. */
    static List<String> collidingStrings(int count) {
        List<String> out = new ArrayList<>();
        for (int i = 0; out.size() < count; i++) {
            StringBuilder b = new StringBuilder();
            for (int bit = 0; bit < 7; bit++) b.append(((i >> bit) & 1) == 0 ? "Aa" : "BB");
            out.add(b.toString());
        }
        return out;
    }

    static <M extends Map<Object, Object>> M fill(M map, int n) {
        for (int i = 1; i <= n; i++) map.put("user" + i, "value-" + i);
        return map;
    }

    static void maps() {
        add("HashMap.empty", new HashMap<>());
        add("HashMap.one", fill(new HashMap<>(), 1));
        add("HashMap.resized", fill(new HashMap<>(), 1000));
        Map<Object, Object> nulls = new HashMap<>();
        nulls.put(null, "for-null");
        nulls.put("null-value", null);
        nulls.put(7, Level.HIGH);
        add("HashMap.nulls", nulls);
        Map<Object, Object> treeComparable = new HashMap<>(128);
        for (String s : collidingStrings(40)) treeComparable.put(s, s.length());
        treeComparable.put("other", 1);
        add("HashMap.treeComparable", treeComparable);
        Map<Object, Object> treeColliders = new HashMap<>(128);
        for (int i = 0; i < 30; i++) treeColliders.put(new Collider(i), i);
        add("HashMap.treeColliders", treeColliders);

        add("LinkedHashMap.empty", new LinkedHashMap<>());
        Map<Object, Object> linked = fill(new LinkedHashMap<>(), 300);
        linked.remove("user5");
        linked.put("user5", "again");
        add("LinkedHashMap.insertion", linked);
        Map<Object, Object> access = fill(new LinkedHashMap<>(16, 0.75f, true), 20);
        access.get("user3");
        access.get("user1");
        add("LinkedHashMap.access", access);
        Map<Object, Object> linkedTree = new LinkedHashMap<>(128);
        for (int i = 0; i < 20; i++) linkedTree.put(new Collider(i), "c" + i);
        add("LinkedHashMap.treeColliders", linkedTree);

        add("ConcurrentHashMap.empty", new ConcurrentHashMap<>());
        add("ConcurrentHashMap.one", fill(new ConcurrentHashMap<>(), 1));
        add("ConcurrentHashMap.resized", fill(new ConcurrentHashMap<>(), 1000));
        Map<Object, Object> chmTree = new ConcurrentHashMap<>(128);
        for (int i = 0; i < 25; i++) chmTree.put(new Collider(i), i);
        for (String s : collidingStrings(20)) chmTree.put(s, s);
        add("ConcurrentHashMap.treeBins", chmTree);

        add("Hashtable.empty", new Hashtable<>());
        Map<Object, Object> table = fill(new Hashtable<>(), 200);
        for (String s : collidingStrings(10)) table.put(s, "collides");
        add("Hashtable.filled", table);
        Properties props = new Properties();
        for (int i = 0; i < 30; i++) props.setProperty("prop." + i, "v" + i);
        add("Properties", props);

        Map<Object, Object> identity = new IdentityHashMap<>();
        identity.put(null, "null-key");
        identity.put("a", null);
        for (int i = 0; i < 50; i++) identity.put("id" + i, i);
        add("IdentityHashMap", identity);
        add("IdentityHashMap.empty", new IdentityHashMap<>());

        Map<Object, Object> weak = new WeakHashMap<>();
        for (int i = 0; i < 100; i++) {
            String key = "weak" + i;
            KEEP.add(key);
            weak.put(key, i);
        }
        weak.put(null, "weak-null");
        add("WeakHashMap", weak);

        add("TreeMap.empty", new TreeMap<>());
        add("TreeMap.one", fill(new TreeMap<>(), 1));
        add("TreeMap.filled", fill(new TreeMap<>(), 500));
        Map<Integer, Object> reversed = new TreeMap<>(Comparator.reverseOrder());
        for (int i = 0; i < 40; i++) reversed.put(i, i % 3 == 0 ? null : "r" + i);
        add("TreeMap.reversed", reversed);
    }

    static void sets() {
        add("HashSet", new HashSet<>(List.of("x", "y", "z", "w")));
        Set<Object> withNull = new HashSet<>();
        withNull.add(null);
        withNull.add(3);
        add("HashSet.null", withNull);
        add("HashSet.empty", new HashSet<>());
        Set<Object> linkedSet = new LinkedHashSet<>();
        for (int i = 50; i > 0; i--) linkedSet.add("ls" + i);
        add("LinkedHashSet", linkedSet);
        add("TreeSet", new TreeSet<>(fill(new HashMap<>(), 60).keySet()));
        Set<Object> keySetView = ConcurrentHashMap.newKeySet();
        for (int i = 0; i < 70; i++) keySetView.add("k" + i);
        add("ConcurrentHashMap.newKeySet", keySetView);
        add("ConcurrentHashMap.keySet", fill(new ConcurrentHashMap<>(), 40).keySet());
        Set<Object> fromWeak = Collections.newSetFromMap(new WeakHashMap<>());
        for (int i = 0; i < 10; i++) {
            String s = "sfm" + i;
            KEEP.add(s);
            fromWeak.add(s);
        }
        add("Collections.newSetFromMap", fromWeak);
    }

    static void lists() {
        add("ArrayList.empty", new ArrayList<>());
        add("ArrayList.one", new ArrayList<>(List.of("only")));
        List<Object> array = new ArrayList<>();
        for (int i = 0; i < 100; i++) array.add(i % 10 == 0 ? null : "e" + i);
        add("ArrayList.nulls", array);
        add("Vector", new Vector<>(List.of(1, 2, 3)));
        LinkedList<Object> linked = new LinkedList<>();
        for (int i = 0; i < 30; i++) linked.add(i == 4 ? null : "n" + i);
        linked.addFirst("head");
        add("LinkedList", linked);
        add("LinkedList.empty", new LinkedList<>());
        ArrayDeque<Object> deque = new ArrayDeque<>(8);
        for (int i = 0; i < 12; i++) deque.add("d" + i);
        for (int i = 0; i < 9; i++) deque.poll();
        for (int i = 12; i < 18; i++) deque.add("d" + i);
        deque.addFirst("front");
        add("ArrayDeque.wrapped", deque);
        add("ArrayDeque.empty", new ArrayDeque<>());
        add("CopyOnWriteArrayList", new CopyOnWriteArrayList<>(List.of("c1", "c2")));
        PriorityQueue<Object> queue = new PriorityQueue<>();
        for (int i : new int[] {5, 1, 9, 3, 7, 2}) queue.add(i);
        add("PriorityQueue", queue);
    }

    static void immutables() {
        add("List.of()", List.of());
        add("List.of(1)", List.of("a"));
        add("List.of(2)", List.of("a", "b"));
        add("List.of(5)", List.of("a", "b", "c", "d", "e"));
        add("Stream.toList", Stream.of("s", null, "t").collect(Collectors.toList()).stream().toList());
        add("Set.of()", Set.of());
        add("Set.of(1)", Set.of("a"));
        add("Set.of(2)", Set.of("a", "b"));
        add("Set.of(9)", Set.of("a", "b", "c", "d", "e", "f", "g", "h", "i"));
        add("Map.of()", Map.of());
        add("Map.of(1)", Map.of("k", "v"));
        add("Map.of(6)", Map.of("k1", 1, "k2", 2, "k3", 3, "k4", 4, "k5", 5, "k6", 6));
        add("Map.copyOf", Map.copyOf(fill(new HashMap<>(), 25)));
    }

    static void wrappers() {
        add("Collections.unmodifiableMap", Collections.unmodifiableMap(fill(new HashMap<>(), 12)));
        add("Collections.synchronizedMap", Collections.synchronizedMap(fill(new TreeMap<>(), 12)));
        add("Collections.unmodifiableList", Collections.unmodifiableList(new ArrayList<>(List.of("u1", "u2"))));
        add("Collections.synchronizedList", Collections.synchronizedList(new LinkedList<>(List.of("s1", "s2"))));
        add("Collections.unmodifiableSet.synchronizedSet",
                Collections.unmodifiableSet(Collections.synchronizedSet(new TreeSet<>(List.of("b", "a")))));
        add("Collections.unmodifiableSortedMap", Collections.unmodifiableSortedMap(fill(new TreeMap<>(), 5)));
        Map<Object, Object> nested = new HashMap<>();
        List<Object> inner = new ArrayList<>(List.of("in1", "in2"));
        nested.put("list", inner);
        nested.put("map", Map.of("deep", "value"));
        add("Nested", nested);
        add("Nested.inner", inner);
    }

    static void print(StringBuilder out, Case c) {
        Object o = c.collection;
        if (o instanceof Map) {
            Map<?, ?> m = (Map<?, ?>) o;
            out.append("case ").append(c.name).append(' ').append(m.size()).append('\n');
            for (Map.Entry<?, ?> e : m.entrySet())
                out.append("entry ").append(label(e.getKey())).append('\t').append(label(e.getValue())).append('\n');
        } else {
            Collection<?> coll = (Collection<?>) o;
            out.append("case ").append(c.name).append(' ').append(coll.size()).append('\n');
            for (Object e : coll) out.append("element ").append(label(e)).append('\n');
        }
        out.append("end ").append(c.name).append('\n');
    }

    public static void main(String[] args) {
        maps();
        sets();
        lists();
        immutables();
        wrappers();
        StringBuilder out = new StringBuilder();
        for (Case c : CASES) print(out, c);
        System.out.print(out);
        System.out.println("ready");
        System.out.flush();
        for (;;) LockSupport.park();
    }
}
