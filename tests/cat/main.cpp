// The CAT tests run with a QCoreApplication: the back end needs no window
// system (its settings dialog is the window's, tested with the window).
#include "cat/omnirig_tlb.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// The same suppression as lsan.supp beside this file, built in so that the
// test runs clean under the sanitizers without LSAN_OPTIONS.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libhamlib.so\n";
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Workers of destroyed clients end on their own; let them, so the process
    // exits with no thread inside Hamlib.
    TOmniRigX::WaitForWorkers(15000);
    return result;
}
