import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * A small program to browse with Vorlan: an address book held in static fields,
 * with strings, arrays, a map and a cycle between two objects.
 */
public class VorlanDemo {
    static final class Address {
        final String street;
        final String city;
        final int[] postcode;

        Address(String street, String city, int... postcode) {
            this.street = street;
            this.city = city;
            this.postcode = postcode;
        }
    }

    static final class Person {
        final String name;
        final Address address;
        Person friend;               // people point at each other: the tree never ends
        final List<String> tags = new ArrayList<>();

        Person(String name, Address address) {
            this.name = name;
            this.address = address;
        }
    }

    static final Map<String, Person> BOOK = new HashMap<>();
    static final Person[] FAVOURITES = new Person[2];
    static final long[] COUNTERS = {1, 2, 3};

    public static void main(String[] args) throws InterruptedException {
        Person ada = new Person("Ada", new Address("12 Analytical Row", "London", 1, 8, 1, 5));
        Person alan = new Person("Alan", new Address("3 Bletchley Lane", "Milton Keynes", 1, 9, 1, 2));
        ada.friend = alan;
        alan.friend = ada;
        ada.tags.add("engines");
        alan.tags.add("machines");
        BOOK.put(ada.name, ada);
        BOOK.put(alan.name, alan);
        FAVOURITES[0] = ada;
        FAVOURITES[1] = alan;

        Runtime.getRuntime().addShutdownHook(new Thread(() -> System.out.println("VorlanDemo: shutting down")));
        System.out.println("VorlanDemo: running; press Ctrl-C or the viewer's close button to end it");
        while (true) {
            Thread.sleep(1000);
            COUNTERS[0]++;
        }
    }
}
