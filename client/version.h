// The project's version, as every program prints it for --version and the agent reports
// it in its hello reply.
#pragma once

const char* vorlanVersion();
