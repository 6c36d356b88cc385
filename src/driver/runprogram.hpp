#pragma once
#include <functional>

// Runs the program body and turns the way it ended into an exit status:
// a stop (or a normal return) flushes and closes every unit and gives 0;
// an input or output error writes its message on the standard error
// stream, closes the other units and gives 1. Used by main and by tests
// that run the program in-process.
int runProgram(const std::function<void()>& body);
