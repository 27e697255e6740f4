/** Pins an Object[N] whose elements are N distinct objects. Argument: N. */
public final class ArrayHeap {
    public static void main(String[] args) throws Exception {
        Object[] array = new Object[Integer.parseInt(args[0])];
        for (int i = 0; i < array.length; i++) array[i] = new Object();
        Pin.pin(array);
        Ready.announceAndIdle();
    }
}
