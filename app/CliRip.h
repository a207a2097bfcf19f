// The "rip" and "formats" commands of tarnwick-cli.
#pragma once

// tarnwick-cli rip [options]: reads audio tracks of a disc into sound files.
// `argc`/`argv` are the arguments after "rip". Returns the exit status: 0
// when every track was read (and, with --secure, proven), 1 when a track
// failed or nothing could be read, 2 for a usage error.
int RipCommand(int argc, char** argv);

// tarnwick-cli formats: the file format and encoder pairs, one a line.
int FormatsCommand();
