/** The class whose bytes ClassesHeap copies under thousands of new names. */
public final class ClassTemplate {
    public int value;

    public int twice() {
        return value * 2;
    }
}
