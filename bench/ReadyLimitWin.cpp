// ReadyLimit.exe: the least a scan server can do before its first "ready:".
// A GUI program that writes "ready:\n" to the output handle it is given, then
// answers every line of its input with another "ready:\n" (a request's round
// trip with no work) until its input closes, and exits with 0. It takes the server's first two
// arguments (input and output handle, hexadecimal) and ignores the rest.

#include "bench/LimitCommandLineWin.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const SLimitHandles handles = ReadLimitHandles();
    WriteReadyLine(handles.output);
    AnswerEveryLine(handles);
    return 0;
}
