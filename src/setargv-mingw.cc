// Asks the MinGW runtime to expand wildcards in the argument vector, as
// setargv.obj does for MSVC builds, so "w?.txt" reaches main as file names.
extern "C" {
int _dowildcard = -1;
}
