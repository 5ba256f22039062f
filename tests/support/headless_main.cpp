// The entry point of a headless binary: the program's own main, renamed.
int PROGRAM_MAIN(int argc, char** argv);

int main(int argc, char** argv)
{
    return PROGRAM_MAIN(argc, argv);
}
