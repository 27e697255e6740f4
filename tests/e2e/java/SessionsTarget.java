import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.locks.LockSupport;

/**
 * Test program for finding an object by a value it holds: 50 sessions, as a servlet
 * container keeps them, whose attributes (a ConcurrentHashMap) are user1..user50 =
 * value-1..value-50, one each. Prints "ready", then parks.
 */
public class SessionsTarget {
    static final class Session {
        final String id;
        final Map<String, Object> attributes = new ConcurrentHashMap<>();

        Session(String id) {
            this.id = id;
        }
    }

    static final List<Session> SESSIONS = new ArrayList<>();

    public static void main(String[] args) {
        for (int i = 1; i <= 50; i++) {
            Session s = new Session("session-" + i);
            s.attributes.put("user" + i, "value-" + i);
            SESSIONS.add(s);
        }
        System.out.println("ready");
        System.out.flush();
        for (;;) LockSupport.park();
    }
}
