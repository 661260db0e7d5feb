#include "document/DocNotifier.h"

#include "model/CTLDoc.h"

namespace document {

struct DocNotifier::Relay : model::DocListener {
    DocNotifier* q = nullptr;
    void aboutToChange(const model::Change& c) override { emit q->aboutToChange(c); }
    void changed(const model::Change& c) override { emit q->changed(c); }
    void modifiedChanged(bool m) override { emit q->modifiedChanged(m); }
    void loaded() override { emit q->loaded(); }
    void saved() override { emit q->saved(); }
};

DocNotifier::DocNotifier(model::CTLDoc& doc, QObject* parent)
        : QObject(parent), doc_(doc), relay_(std::make_unique<Relay>())
{
    relay_->q = this;
    doc_.addListener(relay_.get());
}

DocNotifier::~DocNotifier()
{
    doc_.removeListener(relay_.get());
}

} // namespace document
