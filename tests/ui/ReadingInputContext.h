#pragma once

// An input method for the tests, built into the test program as the
// platform's input context (QT_IM_MODULE=reading). It behaves as a Japanese
// input method does through the toolkit's ibus plugin of Qt 6.4:
//  - a reading shows as preedit, and the engine holds it until it is
//    committed or cancelled;
//  - reset() makes the engine commit a reading it holds (as ibus does for
//    mozc), the commit arriving a moment later, as over D-Bus;
//  - the plugin remembers the last reading shown even after the engine hid it
//    on a cancel, and commit() (Enter in a line edit, a focus change) commits
//    what it remembers, until reset() makes it forget.

#include <qpa/qplatforminputcontext.h>
#include <QString>

namespace vesmira::test {

class ReadingInputContext : public QPlatformInputContext {
    Q_OBJECT
  public:
    // The one the application made, or null before it made one.
    static ReadingInputContext* Instance();

    // What the user does: a reading typed (shown in full each time), the
    // reading converted and committed as text, Esc on the reading.
    void Read(const QString& reading);
    void Commit(const QString& text);
    // A commit and the next reading in one event, as some input methods send.
    void CommitAndRead(const QString& text, const QString& reading);
    void Cancel();

    bool isValid() const override { return true; }
    void reset() override;
    void commit() override;

  private:
    void Send(const QString& preedit, const QString& commit);
    QString engineReading_;
    QString remembered_;
};

}  // namespace vesmira::test
