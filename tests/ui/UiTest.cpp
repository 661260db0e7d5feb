// The pieces every editor window shares, without a window.
#include "ui/NumberChars.h"

#include <gtest/gtest.h>

using ui::NumberChars;

TEST(NumberChars, SignAndPointOnlyWhereAllowed)
{
    const NumberChars all{};
    const NumberChars unsignedWhole{false, false};
    for (QChar c : QStringLiteral("0123456789-."))
        EXPECT_TRUE(all.accepts(c)) << c.toLatin1();
    for (QChar c : QStringLiteral("+eE, a\t"))
        EXPECT_FALSE(all.accepts(c)) << c.toLatin1();
    EXPECT_FALSE(unsignedWhole.accepts(u'-'));
    EXPECT_FALSE(unsignedWhole.accepts(u'.'));
    // A paste keeps what is allowed, in order.
    EXPECT_EQ(unsignedWhole.filtered(u"-1.5e3 kg"), QStringLiteral("153"));
    EXPECT_EQ(all.filtered(u"-1.5e3 kg"), QStringLiteral("-1.53"));
    EXPECT_TRUE(all.acceptsAll(u""));
    EXPECT_FALSE(all.acceptsAll(u"12a"));
}

TEST(NumberChars, ValidatorRefusesTheWholeOfAMixedText)
{
    ui::NumberValidator v(NumberChars{});
    int pos = 0;
    QString ok = QStringLiteral("-12.5"), bad = QStringLiteral("12,5"), empty;
    EXPECT_EQ(v.validate(ok, pos), QValidator::Acceptable);
    EXPECT_EQ(v.validate(empty, pos), QValidator::Acceptable);
    EXPECT_EQ(v.validate(bad, pos), QValidator::Invalid);
}
