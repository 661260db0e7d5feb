#include "browser/DocNotifier.h"

#include "model/CTLDoc.h"

namespace browser {

struct DocNotifier::Relay : model::DocListener {
    DocNotifier* q = nullptr;
    void aboutToChange(const model::Change& c) override { emit q->aboutToChange(c); }
    void changed(const model::Change& c) override { emit q->changed(c); }
    void modifiedChanged(bool m) override { emit q->modifiedChanged(m); }
    void loaded() override { emit q->loaded(); }
    void saved() override { emit q->saved(); }
};

DocNotifier::DocNotifier(model::CTLDoc& doc, QObject* parent)
        : QObject(parent), m_doc(doc), m_relay(std::make_unique<Relay>())
{
    m_relay->q = this;
    m_doc.addListener(m_relay.get());
}

DocNotifier::~DocNotifier()
{
    m_doc.removeListener(m_relay.get());
}

} // namespace browser
