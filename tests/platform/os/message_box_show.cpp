// Shows one error box with the title and text given on the command line, then says on stdout
// whether it was shown on the display ("shown") or written to stderr ("printed").
#include "platform/os/message_box.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: message_box_show TITLE TEXT\n");
        return 2;
    }
    const bool shown = kl::platform::ShowErrorMessage(argv[1], argv[2]);
    std::printf("%s\n", shown ? "shown" : "printed");
    return 0;
}
