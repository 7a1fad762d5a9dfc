// Windows side: the console program's entry.
#include "flow.h"

#include "platform.h"

int main(int argc, char** argv) {
    flash::platform::exit_process(flash::run_programmer(argc, argv));
}
