/** An idle program: the VM's own roots plus a few pinned objects. */
public final class IdleHeap {
    public static void main(String[] args) throws Exception {
        Pin.pin("idle pinned string");
        Pin.pin(new int[] {1, 2, 3});
        Pin.pin(new Object[] {new Object(), "two"});
        Ready.announceAndIdle();
    }
}
