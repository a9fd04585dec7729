// A shared library that is not a Qt plug-in at all.
extern "C" int quorvel_plain_library_answer()
{
    return 42;
}
