#include "LxIndyUtils.h"
#include "LxStreams.h"

#include <gtest/gtest.h>

namespace {

std::string SaveText(const TXmlPersistent& Object) {
    TMemoryStream Stream;
    Object.SaveToStream(Stream);
    const std::vector<uint8_t> Bytes = Stream.Bytes();
    return std::string(Bytes.begin(), Bytes.end());
}

void LoadText(TXmlPersistent& Object, std::string_view Text) {
    TMemoryStream Stream;
    Stream.WriteBuffer(Text.data(), int64_t(Text.size()));
    Stream.SetPosition(0);
    Object.LoadFromStream(Stream);
}

TLxHttpProxy Filled() {
    TLxHttpProxy Proxy;
    Proxy.Address = u"proxy.example";
    Proxy.Checked = true;
    Proxy.Password = u"p\u00e4ss";
    Proxy.Port = 3128;
    Proxy.UserName = u"user";
    return Proxy;
}

} // namespace

TEST(HttpProxy, DefaultsMeanADirectConnection) {
    EXPECT_EQ(SaveText(TLxHttpProxy()),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
              "<TLxHttpProxy Address=\"\" Checked=\"False\" Password=\"\" Port=\"8080\" "
              "UserName=\"\"/>\r\n");
}

TEST(HttpProxy, WritesItsPropertiesInOrderAndReadsThemBack) {
    const TLxHttpProxy Proxy = Filled();
    const std::string Xml = SaveText(Proxy);
    EXPECT_EQ(Xml, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                   "<TLxHttpProxy Address=\"proxy.example\" Checked=\"True\" "
                   "Password=\"p\xC3\xA4ss\" Port=\"3128\" UserName=\"user\"/>\r\n");
    TLxHttpProxy Loaded;
    LoadText(Loaded, Xml);
    EXPECT_TRUE(Loaded.IsEqual(&Proxy));
    EXPECT_EQ(SaveText(Loaded), Xml);
}

TEST(HttpProxy, AssignCopiesAllFiveAndTheGlobalIsOneInstance) {
    const TLxHttpProxy Source = Filled();
    TLxHttpProxy& Global = GlobalHttpProxy();
    EXPECT_EQ(&Global, &GlobalHttpProxy());
    EXPECT_TRUE(Global.IsEqual(std::make_unique<TLxHttpProxy>().get())) << "created with defaults";
    Global.Assign(&Source);
    // The saved text names all five, so equal texts mean all five were copied.
    EXPECT_EQ(SaveText(GlobalHttpProxy()), SaveText(Source));
    Global.Assign(std::make_unique<TLxHttpProxy>().get());
    EXPECT_FALSE(GlobalHttpProxy().Checked);
    EXPECT_EQ(GlobalHttpProxy().Port, 8080);
}
