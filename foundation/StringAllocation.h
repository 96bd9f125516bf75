#pragma once
/// Failure injection for the heap blocks of CString and CAnsiString, so that the
/// out-of-memory paths can be exercised: after this call, the next `successes`
/// block allocations (malloc or realloc) succeed and every later one fails.
/// A negative value (the default) lets every allocation through.
void FailStringAllocationsAfter(int successes);
