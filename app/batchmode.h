#pragma once
// Output runs without a window: screport --batch DATABASE PROJECT_DIR CASE [options].
int runBatch(int argc, char** argv);
// True when the command line asks for the batch mode (or its --help / --version).
bool wantsBatch(int argc, char** argv);
