import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * A service that leaks memory, to find out what holds it: every request opens a session,
 * and LeakyCache.SESSIONS keeps every session forever. The rest of the heap is the usual
 * small stuff, and a bounded cache of recent pages that does not grow.
 *
 *   java -Xmx512m -cp build/examples/classes LeakyCache &
 *   jcmd $! GC.heap_dump /tmp/leaky.hprof
 *   vorlan-cli --hprof /tmp/leaky.hprof top
 *
 * Argument: sessions opened per second (default 10000). It says every second how many it
 * holds; with -XX:+HeapDumpOnOutOfMemoryError the VM writes a dump when the heap is full.
 */
public class LeakyCache {
    static final Map<String, Session> SESSIONS = new HashMap<>();
    static final Object[] RECENT_PAGES = new Object[256];

    public static void main(String[] args) throws InterruptedException {
        int perSecond = args.length > 0 ? Integer.parseInt(args[0]) : 10_000;
        long request = 0;
        for (;;) {
            long start = System.nanoTime();
            for (int i = 0; i < perSecond; i++)
                handle(request++);
            System.out.println(SESSIONS.size() + " sessions held");
            long left = 1_000_000_000L - (System.nanoTime() - start);
            if (left > 0)
                Thread.sleep(left / 1_000_000);
        }
    }

    static void handle(long request) {
        Session session = new Session("session-" + request, "user-" + request % 5000);
        session.view("/home");
        session.view("/cart");
        SESSIONS.put(session.id, session);  // opened, and never removed
        RECENT_PAGES[(int) (request % RECENT_PAGES.length)] = "/page/" + request;
    }

    static final class Session {
        final String id;
        final String user;
        final byte[] state = new byte[1024];
        final List<String> views = new ArrayList<>();

        Session(String id, String user) {
            this.id = id;
            this.user = user;
        }

        void view(String page) {
            views.add(page);
        }
    }
}
