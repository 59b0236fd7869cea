#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The start-up sequence grows here as the subsystems land; with nothing to show
    // yet the program ends cleanly.
    return 0;
}
