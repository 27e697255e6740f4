/**
 * Test program for the explorer: known objects kept in static fields only (no local of
 * main holds them, so their path to a GC root goes through this class), and with "big N"
 * a holder of an Object[N] of ExplorerElement objects. Idles until it is ended.
 */
public class ExplorerTarget {
    static final ExplorerSample SAMPLE;
    static final ExplorerSample[] PAIR;
    static ExplorerBigHolder BIG;
    static final ExplorerSessions SESSIONS = new ExplorerSessions(3);

    static {
        ExplorerSample sample = new ExplorerSample("explorer-sample", 42, 2.5, 'Z', new int[] {7, 8, 9});
        ExplorerSample peer = new ExplorerSample("explorer-peer", 7, -0.5, 'p', new int[0]);
        sample.peer = peer;
        peer.peer = sample;
        SAMPLE = sample;
        PAIR = new ExplorerSample[] {sample, peer};
    }

    public static void main(String[] args) throws Exception {
        if (args.length >= 2 && args[0].equals("big")) BIG = new ExplorerBigHolder(Integer.parseInt(args[1]));
        System.out.println("ready");
        System.out.flush();
        while (true) Thread.sleep(1000);
    }
}

/** Fields of every kind the explorer shows: text, numbers, a char, an array, a cycle. */
class ExplorerSample {
    final String label;
    final int count;
    final double ratio;
    final char initial;
    final int[] numbers;
    ExplorerSample peer;

    ExplorerSample(String label, int count, double ratio, char initial, int[] numbers) {
        this.label = label;
        this.count = count;
        this.ratio = ratio;
        this.initial = initial;
        this.numbers = numbers;
    }
}

class ExplorerBigHolder {
    final Object[] elements;

    ExplorerBigHolder(int n) {
        elements = new Object[n];
        for (int i = 0; i < n; i++) elements[i] = new ExplorerElement(i);
    }
}

class ExplorerElement {
    final int index;

    ExplorerElement(int index) {
        this.index = index;
    }
}

/** A map as a web session keeps its attributes: user1..userN = value-1..value-N. */
class ExplorerSessions {
    final java.util.Map<String, String> attributes = new java.util.concurrent.ConcurrentHashMap<>();

    ExplorerSessions(int n) {
        for (int i = 1; i <= n; i++) attributes.put("user" + i, "value-" + i);
    }
}
