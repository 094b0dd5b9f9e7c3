#include "chat/Server.h"

TServer::TServer(TfrmChat *form, quint16 port, const QString &ip, TUDPQueue *queue)
    : IP(ip), Port(port), Queue(queue), Form(form)
{
}

TServer::~TServer()
{
    qDeleteAll(PlayerList);
}
