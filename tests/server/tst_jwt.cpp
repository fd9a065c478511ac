#include "jwt.h"
#include "secrets.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QTest>

using namespace OmbrServer;

namespace {

const QByteArray kSecret = QByteArray(48, 's');
constexpr qint64 kNow = 1800000000;

QByteArray part(const QByteArray &json)
{
    return base64UrlEncode(json);
}

// A token assembled by hand, signed with secret (or with the given raw signature).
QByteArray forge(const QByteArray &headerJson, const QByteArray &payloadJson, const QByteArray &secret)
{
    const QByteArray input = part(headerJson) + '.' + part(payloadJson);
    return input + '.' + base64UrlEncode(QMessageAuthenticationCode::hash(input, secret, QCryptographicHash::Sha256));
}

const QByteArray kHeader = R"({"alg":"HS256","typ":"JWT"})";
const QByteArray kPayload = R"({"sub":"u1","exp":1800000600})";

} // namespace

class TestJwt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OmbrelTest::initTestEnvironment(); }
    void signedTokenVerifiesWithItsClaims();
    void clientSideDecodingReadsTheCustomClaims();
    void verifyRejectsForgedAndMalformedTokens_data();
    void verifyRejectsForgedAndMalformedTokens();
};

void TestJwt::signedTokenVerifiesWithItsClaims()
{
    const JwtSigner signer(kSecret);
    const QJsonObject claims{{"sub", "u1"}, {"exp", kNow + 60}, {"email", "a@b.c"}};
    const auto verified = signer.verify(signer.sign(claims).toLatin1(), kNow);
    QVERIFY(verified);
    QCOMPARE(*verified, claims);
    // A token is no longer accepted in the second its "exp" names.
    QVERIFY(!signer.verify(signer.sign(claims).toLatin1(), kNow + 60));
}

void TestJwt::clientSideDecodingReadsTheCustomClaims()
{
    // The application decodes the payload without the secret: unpadded base64url JSON.
    const JwtSigner signer(kSecret);
    const QJsonObject omb{{"group_id", "g-7"}, {"role", "owner"}};
    const QString token = signer.sign({{"exp", kNow + 60}, {"custom", QJsonObject{{"omb", omb}}}});
    const QStringList parts = token.split(QLatin1Char('.'));
    QCOMPARE(parts.size(), 3);
    QVERIFY(!token.contains(QLatin1Char('=')));
    const auto payload = QByteArray::fromBase64Encoding(parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding);
    QVERIFY(payload);
    const QJsonObject decoded = QJsonDocument::fromJson(*payload).object();
    QCOMPARE(decoded.value("custom").toObject().value("omb").toObject(), omb);
}

void TestJwt::verifyRejectsForgedAndMalformedTokens_data()
{
    QTest::addColumn<QByteArray>("token");
    const QByteArray valid = forge(kHeader, kPayload, kSecret);
    QTest::newRow("alg-none-unsigned") << part(R"({"alg":"none","typ":"JWT"})") + '.' + part(kPayload) + '.';
    QTest::newRow("alg-none-with-our-signature") << forge(R"({"alg":"none"})", kPayload, kSecret);
    QTest::newRow("alg-hs512-header") << forge(R"({"alg":"HS512","typ":"JWT"})", kPayload, kSecret);
    QTest::newRow("header-without-alg") << forge(R"({"typ":"JWT"})", kPayload, kSecret);
    QTest::newRow("other-secret") << forge(kHeader, kPayload, QByteArray(48, 'x'));
    QTest::newRow("payload-swapped") << [&] {
        QList<QByteArray> parts = valid.split('.');
        parts[1] = part(R"({"sub":"admin","exp":1800000600})");
        return parts.join('.');
    }();
    QTest::newRow("signature-truncated") << valid.left(valid.size() - 2);
    QTest::newRow("signature-not-base64") << valid.left(valid.lastIndexOf('.') + 1) + "!!!!";
    QTest::newRow("expired") << forge(kHeader, R"({"sub":"u1","exp":1799999999})", kSecret);
    QTest::newRow("exp-missing") << forge(kHeader, R"({"sub":"u1"})", kSecret);
    QTest::newRow("payload-array") << forge(kHeader, R"([1,2,3])", kSecret);
    QTest::newRow("payload-not-json") << forge(kHeader, "exp=1800000600", kSecret);
    QTest::newRow("two-parts") << part(kHeader) + '.' + part(kPayload);
    QTest::newRow("four-parts") << valid + ".extra";
    QTest::newRow("huge") << QByteArray(100000, 'a') + ".b.c";
    QTest::newRow("binary-garbage") << QByteArray("\x00\xff.\x01\x02.\x80", 8);
}

void TestJwt::verifyRejectsForgedAndMalformedTokens()
{
    QFETCH(QByteArray, token);
    const JwtSigner signer(kSecret);
    QVERIFY(!signer.verify(token, kNow));
}

QTEST_GUILESS_MAIN(TestJwt)
#include "tst_jwt.moc"
