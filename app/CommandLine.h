#pragma once

// The command line: the window's three exports and a check of asset catalogues, for build
// pipelines. Runs on no display, on the same engine as the window.
class CommandLine
{
public:
    // Whether the arguments ask for a command rather than the window (with or without a file).
    static bool isCommand(int argc, char **argv);
    static int run(int argc, char **argv);
};
