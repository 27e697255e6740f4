import java.util.List;

/** Classes of many field layouts, and arrays of every kind, several of each. */
final class Shapes {
    static void fill(List<Object> out) {
        for (int i = 0; i < 4; i++) {
            out.add(new OneByte());
            out.add(new OneShort());
            out.add(new OneChar());
            out.add(new OneInt());
            out.add(new OneLong());
            out.add(new OneFloat());
            out.add(new OneDouble());
            out.add(new OneBoolean());
            out.add(new OneRef());
            out.add(new Mixed());
            out.add(new Base());
            out.add(new Derived());
            out.add(new DerivedAgain());
            out.add(new EmptyDerived());
            out.add(new FiveRefs());
            out.add(new Bytes3());
            out.add(new LongThenBytes());
            out.add(new Hider());
            out.add(new byte[i * 3 + 1]);
            out.add(new short[i * 3 + 1]);
            out.add(new char[i * 3 + 1]);
            out.add(new int[i * 3 + 1]);
            out.add(new long[i * 3 + 1]);
            out.add(new float[i * 3 + 1]);
            out.add(new double[i * 3 + 1]);
            out.add(new boolean[i * 3 + 1]);
            out.add(new Object[i * 3 + 1]);
            out.add(new String[i]);
            out.add(new int[i][2]);
            out.add(new Mixed[0]);
        }
        Statics.touch();
    }

    private Shapes() {}
}

class OneByte { byte a = 1; }
class OneShort { short a = 2; }
class OneChar { char a = 'c'; }
class OneInt { int a = 4; }
class OneLong { long a = 5; }
class OneFloat { float a = 6; }
class OneDouble { double a = 7; }
class OneBoolean { boolean a = true; }
class OneRef { Object a = "one-ref"; }

class Mixed {
    long l = 1;
    byte b = 2;
    Object r = "mixed";
    int i = 3;
    short s = 4;
    boolean z = true;
    char c = 'm';
    double d = 5;
    float f = 6;
}

class Base {
    long x = 1;
    byte y = 2;
}

// Fills the gap Base leaves after its header and after y.
class Derived extends Base {
    int z = 3;
    byte w = 4;
}

class DerivedAgain extends Derived {
    Object r = "again";
    short s = 5;
}

class EmptyDerived extends Base {}

class FiveRefs {
    Object a = "a", b = "b", c = null, d = "d", e = null;
}

class Bytes3 {
    byte a, b, c;
}

class LongThenBytes {
    long a;
    byte b;
    boolean c;
}

class Hidden {
    int v = 1;
    Object tag = "hidden-tag";
}

// Hides Hidden.tag with a field of the same name.
class Hider extends Hidden {
    Object tag = "hider-tag";
}

class Statics {
    static byte sb = 1;
    static short ss = 2;
    static char sc = 'c';
    static int si = 4;
    static long sl = 5;
    static float sf = 6;
    static double sd = 7;
    static boolean sz = true;
    static Object so = "static-object";
    static int[] sa = {1, 2, 3};

    static void touch() {}
}
