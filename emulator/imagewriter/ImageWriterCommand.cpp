// Portable: the command line of the image writer tool.
#include "ImageWriter.h"

#include <stdexcept>

namespace vg730 {

const char* const ImageWriterUsage =
    "usage: vg730img OUTPUT.img [options]\n"
    "  --default               start from the default image (200 KiB) instead of a 4 KiB one\n"
    "  --size N                data bytes\n"
    "  --load-addr A           device address of the header; the data follow 24 bytes later\n"
    "  --data-addr A           data address written into the header instead\n"
    "  --run-addr A            start address of the firmware\n"
    "  --build TEXT            build tag text (\"2.05.177 ...\"), --no-build leaves it out\n"
    "  --ean TEXT              EAN tag text (16 hex digits), --no-ean leaves it out\n"
    "  --descr TEXT            description tag text, --no-descr leaves it out\n"
    "  --tag-offset N          where the tags begin in the data\n"
    "  --seed N                filler bytes around the tags\n"
    "  --bad-header-checksum   header checksum off by one bit\n"
    "  --bad-data-checksum     data checksum off by one bit\n"
    "  --extra N               N bytes after the data checksum\n"
    "  --truncate N            cut the file to N bytes\n"
    "Numbers are decimal or hexadecimal with 0x.\n";

namespace {

std::uint32_t parse_number(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    unsigned long long value = 0;
    try {
        value = std::stoull(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || text[0] == '-' || text[0] == '+' || used != text.size() ||
        value > 0xFFFFFFFFull) {
        throw std::invalid_argument("bad number for " + option + ": '" + text + "'");
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

ImageWriterCommand ParseImageWriterArguments(const std::vector<std::string>& args) {
    ImageWriterCommand command;
    for (const auto& arg : args) {
        if (arg == "--default") {
            command.spec = DefaultImageSpec();
        }
    }
    bool have_output = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) {
                throw std::invalid_argument(arg + " needs a value");
            }
            return args[++i];
        };
        ImageSpec& spec = command.spec;
        if (arg == "--default") {
        } else if (arg == "--size") {
            spec.size = parse_number(arg, value());
        } else if (arg == "--load-addr") {
            spec.load_addr = parse_number(arg, value());
        } else if (arg == "--data-addr") {
            spec.data_addr = parse_number(arg, value());
        } else if (arg == "--run-addr") {
            spec.run_addr = parse_number(arg, value());
        } else if (arg == "--build") {
            spec.build = value();
        } else if (arg == "--no-build") {
            spec.build.reset();
        } else if (arg == "--ean") {
            spec.ean = value();
        } else if (arg == "--no-ean") {
            spec.ean.reset();
        } else if (arg == "--descr") {
            spec.description = value();
        } else if (arg == "--no-descr") {
            spec.description.reset();
        } else if (arg == "--tag-offset") {
            spec.tag_offset = parse_number(arg, value());
        } else if (arg == "--seed") {
            spec.seed = parse_number(arg, value());
        } else if (arg == "--bad-header-checksum") {
            spec.bad_header_checksum = true;
        } else if (arg == "--bad-data-checksum") {
            spec.bad_data_checksum = true;
        } else if (arg == "--extra") {
            spec.extra_bytes = parse_number(arg, value());
        } else if (arg == "--truncate") {
            spec.truncate = parse_number(arg, value());
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw std::invalid_argument("unknown option '" + arg + "'");
        } else if (have_output) {
            throw std::invalid_argument("more than one output file: '" + arg + "'");
        } else {
            command.output = arg;
            have_output = true;
        }
    }
    if (!have_output) {
        throw std::invalid_argument("no output file given");
    }
    return command;
}

} // namespace vg730
