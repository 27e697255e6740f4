"""The benchmark driver's parts: JVM processes, protocol clients, scenarios, report."""
