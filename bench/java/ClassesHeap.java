import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;

/**
 * Loads many generated classes: the bytes of ClassTemplate, renamed for each, defined by
 * one class loader that a pinned object keeps alive. Arguments: number of classes, and
 * "instances" to pin one instance of each too, so that every class has a histogram row.
 */
public final class ClassesHeap {
    private static final String TEMPLATE = "ClassTemplate";

    public static void main(String[] args) throws Exception {
        int count = args.length > 0 ? Integer.parseInt(args[0]) : 20000;
        byte[] template = readTemplate();
        GeneratingLoader loader = new GeneratingLoader();
        Class<?>[] classes = new Class<?>[count];
        for (int i = 0; i < count; i++) {
            // Same length as the template's name, so no constant-pool length changes.
            String name = String.format("ClassG%07d", i);
            classes[i] = loader.define(name, renamed(template, name));
        }
        Pin.pin(classes);
        if (args.length > 1 && args[1].equals("instances")) {
            Object[] instances = new Object[count];
            for (int i = 0; i < count; i++) instances[i] = classes[i].getDeclaredConstructor().newInstance();
            Pin.pin(instances);
        }
        Ready.announceAndIdle();
    }

    private static byte[] readTemplate() throws Exception {
        try (InputStream in = ClassesHeap.class.getResourceAsStream(TEMPLATE + ".class")) {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            in.transferTo(out);
            return out.toByteArray();
        }
    }

    /** Replaces every occurrence of the template's name with name (same length). */
    static byte[] renamed(byte[] template, String name) {
        byte[] from = TEMPLATE.getBytes(StandardCharsets.US_ASCII);
        byte[] to = name.getBytes(StandardCharsets.US_ASCII);
        if (from.length != to.length) throw new IllegalArgumentException(name);
        byte[] bytes = template.clone();
        for (int i = 0; i + from.length <= bytes.length; i++) {
            int j = 0;
            while (j < from.length && bytes[i + j] == from[j]) j++;
            if (j == from.length) System.arraycopy(to, 0, bytes, i, to.length);
        }
        return bytes;
    }

    private static final class GeneratingLoader extends ClassLoader {
        Class<?> define(String name, byte[] bytes) {
            return defineClass(name, bytes, 0, bytes.length);
        }
    }
}
