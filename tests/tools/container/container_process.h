// vort-container run as a child process for tests: lines written to its standard
// input, its output read a line at a time with a time limit.
#pragma once

#include <QProcess>
#include <QStringList>
#include <string>

namespace vort::test {

class ContainerProcess {
public:
    // Starts build/out/vort-container with args (default: a script on standard input).
    explicit ContainerProcess(const QStringList& args = {QStringLiteral("--script"),
                                                         QStringLiteral("-")});
    ~ContainerProcess();

    // Sends one script line.
    void send(const std::string& line);
    // The next line of standard output (without its end), or "<timeout>" after ms.
    std::string next(int ms = 5000);
    // Sends line and returns the line it prints.
    std::string ask(const std::string& line, int ms = 5000) {
        send(line);
        return next(ms);
    }
    // Closes standard input, waits for the end and returns the exit status (-1: it
    // crashed or did not end within ms).
    int finish(int ms = 15000);
    std::string standardError();

private:
    QProcess process_;
    QByteArray buffer_;
};

// The path of a program in build/out.
QString builtProgram(const char* name);

} // namespace vort::test
