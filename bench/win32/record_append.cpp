// The same measure on the Windows build (run it under Windows or Wine).
#include "../record_append.cpp"
