// Portable: the image writer tool, "vg730img OUTPUT.img [options]" (see ImageWriterUsage).
#include "ImageWriter.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    try {
        const vg730::ImageWriterCommand command =
            vg730::ParseImageWriterArguments(std::vector<std::string>(argv + 1, argv + argc));
        vg730::WriteImageFile(command.output, command.spec);
        return 0;
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "vg730img: %s\n%s", error.what(), vg730::ImageWriterUsage);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vg730img: %s\n", error.what());
    }
    return 1;
}
