import java.util.ArrayList;
import java.util.HashMap;

/**
 * A server-like heap of about N live objects: a HashMap of sessions, each holding its id,
 * a user with a name, a token, a small cart of items and a short history of events (16
 * objects per session with its map entry), beside bulk data: samples in arrays of 10,000
 * (N/10 of them) and 16 KiB byte blocks (N/1000). One session, "s-deep", has a history
 * of DEEP events, so that objects far from any root exist. The store is pinned as a JNI
 * global and held by main. Optionally an Object[M] of M distinct objects is pinned too.
 *
 * Arguments: N [array=M]. Prints "ready key=value..." with the counts built, then serves
 * HeapControl's commands; a StallWatch records the longest stall.
 */
public final class SessionHeap {
    static final int DEEP = 12;
    static final int SAMPLES_PER_ARRAY = 10_000;
    static final int BLOCK_BYTES = 16 * 1024;
    // Objects per session: map entry, key (String and its bytes), Session, User, name
    // (String and bytes), token, cart (ArrayList, its array, three items), three events.
    static final int PER_SESSION = 16;

    public static void main(String[] args) throws Exception {
        long objects = Long.parseLong(args[0]);
        int array = 0;
        for (int i = 1; i < args.length; i++)
            if (args[i].startsWith("array=")) array = Integer.parseInt(args[i].substring(6));
        int samples = (int) (objects / 10);
        int blocks = (int) (objects / 1000);
        int sampleArrays = (samples + SAMPLES_PER_ARRAY - 1) / SAMPLES_PER_ARRAY;
        int sessions = (int) Math.max(1, (objects - samples - sampleArrays - blocks) / PER_SESSION);
        SessionStore store = SessionStore.build(sessions, samples, blocks);
        Pin.pin(store);
        Object[] big = null;
        if (array > 0) {
            big = new Object[array];
            for (int i = 0; i < array; i++) big[i] = new Object();
            Pin.pin(big);
        }
        System.gc();
        StallWatch watch = StallWatch.begin();
        System.out.println("ready sessions=" + sessions + " samples=" + samples + " sample_arrays=" + sampleArrays
                + " blocks=" + blocks + " array=" + array + " deep=" + DEEP + " per_session=" + PER_SESSION
                + " events=" + (3L * (sessions - 1) + DEEP) + " items=" + 3L * sessions);
        System.out.flush();
        HeapControl.serve(watch);
        // Kept reachable from this frame until the end, as a server's state would be.
        if (store.sessions.isEmpty() && big != null) System.out.println(big.length);
    }
}

final class SessionStore {
    final String name = "sessions of the bench";
    final HashMap<String, Session> sessions;
    final Sample[][] samples;
    final byte[][] blocks;

    private SessionStore(HashMap<String, Session> sessions, Sample[][] samples, byte[][] blocks) {
        this.sessions = sessions;
        this.samples = samples;
        this.blocks = blocks;
    }

    static SessionStore build(int sessions, int samples, int blocks) {
        HashMap<String, Session> map = new HashMap<>(sessions * 2);
        for (int i = 0; i < sessions - 1; i++) {
            String id = "s" + i;
            map.put(id, new Session(id, i, 3));
        }
        map.put("s-deep", new Session("s-deep", sessions, SessionHeap.DEEP));
        Sample[][] s = new Sample[(samples + SessionHeap.SAMPLES_PER_ARRAY - 1) / SessionHeap.SAMPLES_PER_ARRAY][];
        for (int a = 0, left = samples; a < s.length; a++, left -= SessionHeap.SAMPLES_PER_ARRAY) {
            s[a] = new Sample[Math.min(left, SessionHeap.SAMPLES_PER_ARRAY)];
            for (int i = 0; i < s[a].length; i++) s[a][i] = new Sample(a * 10_000L + i, i * 0.5);
        }
        byte[][] b = new byte[blocks][];
        for (int i = 0; i < blocks; i++) {
            b[i] = new byte[SessionHeap.BLOCK_BYTES];
            b[i][0] = (byte) i;
        }
        return new SessionStore(map, s, b);
    }
}

final class Session {
    final String id;
    final User user;
    final byte[] token;
    final ArrayList<Item> cart;
    final Event last;
    final long created;
    int hits;

    Session(String id, int n, int events) {
        this.id = id;
        this.user = new User("user-" + n, n);
        this.token = new byte[32];
        this.token[0] = (byte) n;
        this.cart = new ArrayList<>(3);
        for (int i = 0; i < 3; i++) cart.add(new Item(Item.SKUS[(n + i) % Item.SKUS.length], 100 + i, 1 + i));
        Event e = null;
        for (int i = 0; i < events; i++) e = new Event(e, n * 1000L + i, i % 4);
        this.last = e;
        this.created = n;
    }
}

final class User {
    final String name;
    final int id;

    User(String name, int id) {
        this.name = name;
        this.id = id;
    }
}

final class Item {
    static final String[] SKUS = {"sku-apple", "sku-bread", "sku-cheese", "sku-dates", "sku-eggs"};
    final String sku;
    final long priceCents;
    final int quantity;

    Item(String sku, long priceCents, int quantity) {
        this.sku = sku;
        this.priceCents = priceCents;
        this.quantity = quantity;
    }
}

final class Event {
    final Event previous;
    final long at;
    final int kind;

    Event(Event previous, long at, int kind) {
        this.previous = previous;
        this.at = at;
        this.kind = kind;
    }
}

final class Sample {
    final long time;
    final double value;

    Sample(long time, double value) {
        this.time = time;
        this.value = value;
    }
}
