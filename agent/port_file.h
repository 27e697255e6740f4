// The port file: the command server's port made known to processes of the VM's own
// user only, in the place the JVM's attach mechanism uses (/tmp/.vorlan_pid<PID>, mode
// 0600), so that a tool given only a pid finds the agent. Removed when the process exits.
#pragma once

#include <string>

// The file's path for a process id, under directory (the VM's /tmp).
std::string port_file_path(const std::string& directory, long pid);

// The file's text: "port=P\nstart=S\n", start being the process's start time in clock
// ticks after boot (field 22 of /proc/PID/stat), which tells a reused pid apart.
std::string port_file_text(int port, unsigned long long start_ticks);

// The start time field of a /proc/PID/stat text; 0 when the text has none.
unsigned long long start_ticks_of_stat(const std::string& stat_text);

// Writes the file at path for port: a file left there by this user before (a VM killed
// with SIGKILL) is removed first, then the file is created with O_EXCL|O_NOFOLLOW and
// mode 0600. Never touches a file of another user. Empty on success, else why not.
std::string write_port_file(const std::string& path, const std::string& text);

// Removes the file at path if it is still the one this process wrote.
void remove_port_file(const std::string& path);

// The port bound to a listening socket (getsockname); 0 when unknown.
int bound_port(int listener_fd);

// For the server: writes /tmp/.vorlan_pid<getpid()> for the listener's bound port and
// removes it when the process exits. Returns the bound port; a file that cannot be
// written costs one line on standard error, and the server serves on.
int publish_port(int listener_fd);

// The port published by publish_port; 0 before.
int published_port();
