// The entry point of a headless binary: the program's own main, renamed.
int PROGRAM_MAIN(int argc, char** argv);

namespace headless {
void cap_memory(const char* setting);
}

int main(int argc, char** argv)
{
    headless::cap_memory("HEADLESS_MEMORY_MB");
    return PROGRAM_MAIN(argc, argv);
}
