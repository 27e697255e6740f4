/**
 * Pins the head of a large graph: a list of chains, about 3 million objects in all by
 * default, while the head itself refers to only a few of them.
 * Arguments: number of chains, links per chain.
 */
public final class GraphHeap {
    public static void main(String[] args) throws Exception {
        int chains = args.length > 0 ? Integer.parseInt(args[0]) : 1000;
        int links = args.length > 1 ? Integer.parseInt(args[1]) : 2998;
        Pin.pin(GraphHead.build(chains, links));
        Ready.announceAndIdle();
    }
}

/** The pinned head: its own references are the first chain, a label and its class. */
final class GraphHead {
    final Chain first;
    final String label;
    final int chains;

    private GraphHead(Chain first, String label, int chains) {
        this.first = first;
        this.label = label;
        this.chains = chains;
    }

    static GraphHead build(int chains, int links) {
        Chain first = null;
        for (int c = 0; c < chains; c++) {
            Link head = null;
            for (int i = 0; i < links; i++) head = new Link(head, i);
            first = new Chain(first, head);
        }
        return new GraphHead(first, "graph head", chains);
    }
}

/** One entry of the list of chains. */
final class Chain {
    final Chain next;
    final Link links;

    Chain(Chain next, Link links) {
        this.next = next;
        this.links = links;
    }
}

/** One link of a chain. */
final class Link {
    final Link next;
    final int value;

    Link(Link next, int value) {
        this.next = next;
        this.value = value;
    }
}
