#include "http/net_error_words.h"

namespace zk {

std::wstring NetErrorWords(uint32_t osError) {
    switch (osError) {
        case 12002:
        case 10060: return L"Сервер не ответил вовремя";  // also the socket's own time-out, which Wine passes on
        case 12007: return L"Имя сервера не найдено: проверьте адрес сервера и подключение к интернету";
        case 12029: return L"Не удалось подключиться к серверу";
        case 12030:
        case 10053: return L"Соединение с сервером прервано";
        case 12031:
        case 10054: return L"Соединение с сервером сброшено";
        case 12037: return L"Срок действия сертификата сервера истёк или ещё не начался: проверьте дату и время компьютера";
        case 12038: return L"Сертификат сервера выдан на другое имя";
        case 12045: return L"Сертификат сервера выдан неизвестным центром сертификации";
        case 12055: return L"Сертификат сервера не прошёл проверку";
        case 12056:
        case 12057: return L"Не удалось проверить, не отозван ли сертификат сервера";
        case 12157: return L"Не удалось установить защищённое соединение с сервером";
        case 12169: return L"Сертификат сервера недействителен";
        case 12170: return L"Сертификат сервера отозван";
        default: return {};
    }
}

bool IsUnreachableError(uint32_t osError) {
    switch (osError) {
        case 12002: case 12007: case 12029: case 12030: case 12031: case 10060: case 10053: case 10054: return true;
        default: return false;
    }
}

bool IsCertificateError(uint32_t osError) {
    switch (osError) {
        case 12037: case 12038: case 12045: case 12055: case 12056: case 12057: case 12157: case 12169: case 12170: return true;
        default: return false;
    }
}

std::wstring ExplainNetFailure(const std::wstring& message, uint32_t osError) {
    const std::wstring words = NetErrorWords(osError);
    if (words.empty()) return osError == 0 ? message : message + L" (ошибка " + std::to_wstring(osError) + L")";
    return words + L" (ошибка " + std::to_wstring(osError) + L", " + message + L")";
}

}  // namespace zk
