import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.concurrent.locks.LockSupport;

/**
 * A program that leaks, for the snapshot query tests: a static map of sessions that only
 * grows, LeakyTarget.SESSIONS, holds most of the heap.
 *
 * - SESSIONS: a HashMap of N sessions by id; a Session holds its id (a String), a
 *   byte[PAYLOAD] and an ArrayList of two Events;
 * - a small cache beside it: LeakyTarget.RECENT, an Object[] of 100 byte[64];
 * - every session's user refers to the shared LeakyTarget.GUEST, which the map therefore
 *   does not retain alone.
 *
 * Arguments: N GROW_FILE. Prints "ready"; whenever GROW_FILE appears, adds N more
 * sessions, deletes the file and prints "grown". Allocates nothing otherwise.
 */
public class LeakyTarget {
    static final int PAYLOAD = 512;
    static final HashMap<String, Session> SESSIONS = new HashMap<>();
    static final Object[] RECENT = new Object[100];
    static final User GUEST = new User("guest");

    public static void main(String[] args) throws Exception {
        int n = Integer.parseInt(args[0]);
        Path grow = Path.of(args[1]);
        for (int i = 0; i < RECENT.length; i++)
            RECENT[i] = new byte[64];
        add(n);
        System.gc();
        System.out.println("ready");
        System.out.flush();
        for (;;) {
            if (Files.exists(grow)) {
                add(n);
                Files.delete(grow);
                System.gc();
                System.out.println("grown");
                System.out.flush();
            }
            LockSupport.parkNanos(20_000_000L);
        }
    }

    static void add(int n) {
        int first = SESSIONS.size();
        for (int i = first; i < first + n; i++) {
            String id = "session-" + i;
            SESSIONS.put(id, new Session(id));
        }
    }
}

class User {
    final String name;

    User(String name) {
        this.name = name;
    }
}

class Event {
    final long at;

    Event(long at) {
        this.at = at;
    }
}

class Session {
    final String id;
    final byte[] payload = new byte[LeakyTarget.PAYLOAD];
    final List<Event> events = new ArrayList<>();
    final User user = LeakyTarget.GUEST;

    Session(String id) {
        this.id = id;
        events.add(new Event(1));
        events.add(new Event(2));
    }
}
