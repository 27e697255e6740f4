import java.nio.file.Files;
import java.nio.file.Path;

/**
 * A program whose heap the live capture tests take while it runs:
 *
 * - CaptureTarget.registry -> Registry.sessions (Session[8]) -> [3] -> Session "s-3"
 *   -> user -> User "user-3": reached from a class, so it can be found again live;
 * - a thread "capture-keeper" (a Keeper) whose field held is the only reference to a
 *   Session "kept";
 * - a Marker "pinned" held only by a JNI global reference;
 * - ballast=N: N small objects in chunks, so that a dump takes long enough to be cut off.
 *
 * With watch=DIR it looks for DIR/swap every 20 ms: when the file appears, sessions[3]
 * becomes a Guest, the file is removed and "swapped" printed. Prints "ready", then
 * allocates nothing until it is killed.
 */
public class CaptureTarget {
    static Registry registry;
    static Object[][] ballast;

    public static void main(String[] args) throws Exception {
        System.loadLibrary("vorlanpin");
        int ballastObjects = 0;
        Path watch = null;
        for (String a : args) {
            if (a.startsWith("ballast=")) ballastObjects = Integer.parseInt(a.substring(8));
            if (a.startsWith("watch=")) watch = Path.of(a.substring(6));
        }
        build(ballastObjects);
        System.out.println("ready");
        System.out.flush();
        for (;;) {
            Thread.sleep(20);
            if (watch != null && Files.exists(watch.resolve("swap"))) {
                swap();
                Files.delete(watch.resolve("swap"));
                System.out.println("swapped");
                System.out.flush();
            }
        }
    }

    // Done in a method of its own, so no frame of main holds what it made.
    static void build(int ballastObjects) throws Exception {
        registry = new Registry();
        Keeper keeper = new Keeper(new Session("kept"));
        keeper.setDaemon(true);
        keeper.start();
        Pin.pin(new Marker("pinned"));
        final int chunk = 10_000;
        ballast = new Object[(ballastObjects + chunk - 1) / chunk][];
        for (int c = 0; c < ballast.length; c++) {
            ballast[c] = new Object[Math.min(chunk, ballastObjects - c * chunk)];
            for (int i = 0; i < ballast[c].length; i++) ballast[c][i] = new Ballast(i);
        }
        while (keeper.getState() != Thread.State.TIMED_WAITING) Thread.sleep(5);
    }

    static void swap() {
        registry.sessions[3] = new Guest();
    }
}

class Registry {
    final Object[] sessions = new Object[8];

    Registry() {
        for (int i = 0; i < sessions.length; i++) sessions[i] = new Session("s-" + i);
    }
}

class Session {
    final String id;
    final User user;

    Session(String id) {
        this.id = id;
        this.user = new User("user-" + id.substring(id.indexOf('-') + 1));
    }
}

class User {
    final String name;

    User(String name) {
        this.name = name;
    }
}

class Guest {
    final long since = 42;
}

class Marker {
    final String label;

    Marker(String label) {
        this.label = label;
    }
}

class Ballast {
    final int n;

    Ballast(int n) {
        this.n = n;
    }
}

class Keeper extends Thread {
    final Session held;

    Keeper(Session held) {
        super("capture-keeper");
        this.held = held;
    }

    @Override
    public void run() {
        for (;;) {
            try {
                Thread.sleep(60_000);
            } catch (InterruptedException e) {
                return;
            }
        }
    }
}
