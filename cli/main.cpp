// zimbrots-convert: converts files or standard input into hacker writing on standard output,
// or into one file named by -o.

#include "cli/encoding.h"
#include "cli/messages.h"
#include "cli/output_file.h"
#include "conversion/convert.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <fcntl.h>
#include <getopt.h>
#include <langinfo.h>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace zimbrots;

// Read this much at a time: against 64 KiB, a quarter of the system calls and nine tenths of
// the time piped to another program, while a piece and its converted text stay in the cache.
constexpr std::size_t ChunkSize = 256 * 1024;

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
                 _("Usage: %s [OPTION]... [FILE]...\n"
                   "Converts each FILE, or standard input when there is none or for \"-\",\n"
                   "into hacker writing on standard output.\n"
                   "\n"
                   "  -e, --encoding=NAME  the text's encoding: utf-8, windows-1257 or iso-8859-13;\n"
                   "                       by default the locale's\n"
                   "  -o, --output=FILE    write to FILE, replacing it only once all is converted;\n"
                   "                       FILE may be one of the inputs\n"
                   "  -h, --help           show this help and exit\n"
                   "  -V, --version        show the version and exit\n"
                   "  --                   end of options: every argument after it is a FILE\n"
                   "\n"
                   "Report bugs to: <developers@zimbrots.lv>\n"
                   "Zimbrots home page: <https://zimbrots.lv/>\n"),
                 ProgramName);
}

void PrintVersion()
{
    std::printf("%s (Zimbrots) %s\n", ProgramName, ZIMBROTS_VERSION);
    std::printf("Copyright (C) 2026 Zimbrots developers\n");
    std::printf(_("License MIT: <https://opensource.org/licenses/MIT>.\n"
                  "This is free software: you are free to change and redistribute it.\n"
                  "There is NO WARRANTY, to the extent permitted by law.\n"));
}

enum class Outcome { Converted, InputFailed, OutputFailed };

Outcome ConvertStream(int fd, const char* name, Encoding encoding, OutputFile& output)
{
    std::vector<char> buffer(ChunkSize);
    std::string converted;
    zimbrots::Utf8StreamConverter utf8;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Complain(name, errno);
            // What was read so far is already out; the held tail goes out too.
            converted.clear();
            utf8.Finish(converted);
            return output.Write(converted) ? Outcome::InputFailed : Outcome::OutputFailed;
        }
        converted.clear();
        const std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
        if (got == 0) {
            utf8.Finish(converted);
        } else if (encoding == Encoding::Utf8) {
            utf8.Convert(piece, converted);
        } else {
            zimbrots::AppendConvertedWindows1257(piece, converted);
        }
        if (!output.Write(converted))
            return Outcome::OutputFailed;
        if (got == 0)
            return Outcome::Converted;
    }
}

// The catalogues sit beside the program's own folder as they are installed (bin/ and
// share/locale/), so that an unpacked or uninstalled build finds its own too.
void BindMessageCatalogue()
{
    std::string directory = ZIMBROTS_LOCALEDIR;
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string_view path(self, static_cast<std::size_t>(length));
        directory = std::string(path.substr(0, path.rfind('/') + 1)) + ZIMBROTS_LOCALEDIR_FROM_BINDIR;
    }
    ::bindtextdomain("zimbrots-convert", directory.c_str());
    ::textdomain("zimbrots-convert");
}

// The option that getopt_long just refused, as the user wrote it: "--encoding" or "-e".
std::string OptionAsWritten(char** argv)
{
    const std::string_view argument = argv[::optind - 1];
    if (argument.starts_with("--"))
        return std::string(argument.substr(0, argument.find('=')));
    return std::string("-") + char(::optopt);
}

int Misused()
{
    PrintUsage(stderr);
    return ExitMisuse;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    BindMessageCatalogue();
    // End as any filter ends when the reader goes away, even if SIGPIPE came in ignored.
    std::signal(SIGPIPE, SIG_DFL);

    static const option longOptions[] = {
        {"encoding", required_argument, nullptr, 'e'},
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    std::optional<Encoding> encoding;
    const char* outputPath = nullptr;
    ::opterr = 0;  // the messages below are this program's own, in the user's language
    for (int option; (option = ::getopt_long(argc, argv, ":e:o:hV", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'e':
            encoding = EncodingNamed(::optarg);
            if (!encoding) {
                std::fprintf(stderr, _("%s: unknown encoding '%s'\n"), ProgramName, ::optarg);
                PrintKnownEncodings();
                return ExitMisuse;
            }
            break;
        case 'o':
            outputPath = ::optarg;
            break;
        case 'h':
            PrintUsage(stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? ExitSuccess : ExitFailure;
        case 'V':
            PrintVersion();
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? ExitSuccess : ExitFailure;
        case ':':
            std::fprintf(stderr, _("%s: option '%s' needs a value\n"), ProgramName, OptionAsWritten(argv).c_str());
            return Misused();
        default:
            std::fprintf(stderr, _("%s: unknown option '%s'\n"), ProgramName, OptionAsWritten(argv).c_str());
            return Misused();
        }
    }
    std::vector<std::string> files(argv + ::optind, argv + argc);
    if (files.empty())
        files.emplace_back("-");

    // Without -e, the text is in the locale's encoding; another codeset's bytes would be
    // converted wrongly without a word, so the user must name the text's encoding.
    if (!encoding) {
        const char* codeset = ::nl_langinfo(CODESET);
        encoding = EncodingOfCodeset(codeset);
        if (!encoding) {
            std::fprintf(stderr, _("%s: the locale's encoding %s is not one this program knows; name the text's encoding with -e\n"),
                         ProgramName, codeset);
            PrintKnownEncodings();
            return ExitMisuse;
        }
    }

    OutputFile output;
    if (outputPath) {
        if (!output.Open(outputPath))
            return ExitFailure;
    } else {
        // With a pipe's default 64 KiB, this program and its reader take turns every few dozen
        // kilobytes; 1 MiB, the most an unprivileged process may ask for, halved the time of
        // "zimbrots-convert FILE | cat" on 256 MiB. Not a pipe, or not allowed: nothing changes.
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
    }
    ::fcntl(STDIN_FILENO, F_SETPIPE_SZ, 1 << 20);

    int status = ExitSuccess;
    for (const std::string& file : files) {
        int fd = STDIN_FILENO;
        const char* name = _("standard input");
        if (file != "-") {
            name = file.c_str();
            fd = ::open(name, O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                Complain(name, errno);
                status = ExitFailure;
                continue;
            }
        }
        const Outcome outcome = ConvertStream(fd, name, *encoding, output);
        if (fd != STDIN_FILENO)
            ::close(fd);
        if (outcome == Outcome::OutputFailed)
            return ExitFailure;
        if (outcome == Outcome::InputFailed)
            status = ExitFailure;
    }
    // A file named by -o replaces the old one only when every input converted; otherwise the
    // output discards itself.
    if (status != ExitSuccess)
        return status;
    return output.Commit() ? ExitSuccess : ExitFailure;
}
