/** Tells the driver the heap is built, then keeps the VM alive until it is ended. */
final class Ready {
    static void announceAndIdle() throws InterruptedException {
        System.out.println("ready");
        System.out.flush();
        while (true) Thread.sleep(1000);
    }

    private Ready() {}
}
