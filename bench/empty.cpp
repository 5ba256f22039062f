// Does nothing: its start-up is the dynamic loading of the libraries it is
// linked against, the fixed cost every program pays before its first line.
#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv)
{
    // Never true; it keeps the image-codec library a real dependency.
    return argc > 99 ? int(cv::haveImageReader(argv[0])) : 0;
}
