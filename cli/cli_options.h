// What vorlan-cli was asked to do: the command, its one argument, and the options.
#pragma once

#include <optional>
#include <string>

#include "command_line.h"

struct CliOptions {
    int port = kDefaultPort;
    bool portGiven = false;  // --port: with --pid, the agent is loaded on this port
    bool raw = false;   // classic listing lines exactly as received
    bool json = false;  // one JSON document on standard output
    int depth = 2;      // tree: levels below the start; path: hops searched (when given)
    bool depthGiven = false;
    std::optional<long long> offset;
    std::optional<long long> limit;  // show, find, refs; histo's --top
    std::string match;
    std::string contains;    // find: only instances whose text or a field's text contains it
    bool internals = false;  // show: a collection's own fields, not its entries
    bool subclasses = false;
    bool weak = false;
    long long pid = 0;  // the agent in this process: its port file, or loaded; 0: none
    std::string hprof;  // a heap dump file to read instead of asking a running VM
    bool retained = false;  // histo: with retained sizes, largest retained first
    std::optional<double> threshold;  // suspects: the share of the heap, 0..1
    bool force = false;  // dump: replace an existing file
    int gzipLevel = 0;   // dump: the VM compresses the stream (1-9)
};

struct CliCommand {
    // list, roots, expand, tree, quit; show, histo, find, refs, path; top, dominators,
    // suspects, compare; dump
    std::string name;
    std::string argument;  // the handle, snapshot object, class name or file, when the command takes one
    CliOptions options;
};
