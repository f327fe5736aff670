#include "ReadingInputContext.h"

#include <qpa/qplatforminputcontextplugin_p.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QTimer>

namespace vesmira::test {

namespace {

ReadingInputContext* instance = nullptr;

}  // namespace

ReadingInputContext* ReadingInputContext::Instance() {
    return instance;
}

void ReadingInputContext::Read(const QString& reading) {
    engineReading_ = reading;
    remembered_ = reading;
    Send(reading, {});
}

void ReadingInputContext::Commit(const QString& text) {
    engineReading_.clear();
    remembered_.clear();
    Send({}, text);
    Send({}, {});  // the engine then hides the reading it no longer has
}

void ReadingInputContext::CommitAndRead(const QString& text, const QString& reading) {
    engineReading_ = reading;
    remembered_ = reading;
    Send(reading, text);
}

void ReadingInputContext::Cancel() {
    engineReading_.clear();
    Send({}, {});  // hidden; the plugin still remembers it
}

void ReadingInputContext::reset() {
    remembered_.clear();
    if (engineReading_.isEmpty()) {
        return;
    }
    QTimer::singleShot(0, this,
                       [this, reading = std::exchange(engineReading_, {})] { Send({}, reading); });
}

void ReadingInputContext::commit() {
    const QString reading = std::exchange(remembered_, {});
    engineReading_.clear();
    if (!reading.isEmpty()) {
        Send({}, reading);
    }
}

void ReadingInputContext::Send(const QString& preedit, const QString& commit) {
    QObject* target = QGuiApplication::focusObject();
    if (target == nullptr) {
        return;
    }
    QList<QInputMethodEvent::Attribute> attributes;
    if (!preedit.isEmpty()) {
        attributes << QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, int(preedit.size()),
                                                   1, QVariant());
    }
    QInputMethodEvent event(preedit, attributes);
    event.setCommitString(commit);
    QCoreApplication::sendEvent(target, &event);
}

class ReadingInputContextPlugin : public QPlatformInputContextPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QPlatformInputContextFactoryInterface_iid FILE
                      "reading-input-context.json")
  public:
    QPlatformInputContext* create(const QString& key, const QStringList&) override {
        if (key != QLatin1String("reading")) {
            return nullptr;
        }
        instance = new ReadingInputContext;
        return instance;
    }
};

}  // namespace vesmira::test

#include "ReadingInputContext.moc"
