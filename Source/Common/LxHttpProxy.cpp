#include "LxIndyUtils.h"

const TClassInfo& TLxHttpProxy::StaticClassInfo() {
    using T = TLxHttpProxy;
    // The order is part of the file format.
    static constexpr TPropInfo Props[] = {
        Published<&T::Address>(u"Address"),   Published<&T::Checked>(u"Checked"),
        Published<&T::Password>(u"Password"), Published<&T::Port>(u"Port"),
        Published<&T::UserName>(u"UserName"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<T>(u"TLxHttpProxy", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

TLxHttpProxy& GlobalHttpProxy() {
    static TLxHttpProxy Proxy;
    return Proxy;
}
