<?php
// The authentication GET: ?QHU=<user>&QHP=<password>&QHV=<version>, the user and password in
// windows-1251. Answers the identifiers, the FTP and HTTP endpoints and the PARAM elements, or an
// ERROR element for refused credentials; text/xml in windows-1251, as the reference service.
require_once __DIR__ . '/wire.php';

if ($_SERVER['REQUEST_METHOD'] !== 'GET') {
    zk_answer(405, 'method not allowed');
    return;
}
$query = $_SERVER['QUERY_STRING'] ?? '';
$user = zk_query_value($query, 'QHU') ?? '';
$password = zk_query_value($query, 'QHP') ?? '';
$body = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";
if ($user !== zk_1251(ZK_USER) || $password !== zk_1251(ZK_PASSWORD)) {
    $body .= '<ERROR code="401">' . zk_1251('Неверное имя пользователя или пароль') . "</ERROR>\r\n";
    zk_answer(200, $body, 'text/xml; charset=windows-1251');
    return;
}
$host = zk_conf('ZK_UPLOAD_HOST', '127.0.0.1');
$port = zk_conf('ZK_UPLOAD_PORT', (string)($_SERVER['SERVER_PORT'] ?? '80'));
$body .= "<ANSWER>\r\n<UID>" . ZK_UID . "</UID>\r\n<AID>" . ZK_AID . "</AID>\r\n";
$body .= '<FTP host="' . $host . '" port="21" login="ftp' . ZK_UID . "\" passwd=\"ftp-secret\"/>\r\n";
$body .= '<HTTP host="' . $host . '" port="' . $port . '" path="' . ZK_UPLOAD_PATH . '" login="' . ZK_HTTP_LOGIN .
         '" passwd="' . ZK_HTTP_PASSWORD . "\"/>\r\n";
parse_str(zk_conf('ZK_PARAMS'), $params);
foreach ($params as $name => $value)
    $body .= '<PARAM name="' . zk_xml_attr(zk_1251((string)$name)) . '"><![CDATA[' . zk_1251((string)$value) . "]]></PARAM>\r\n";
$body .= "</ANSWER>\r\n";
zk_answer(200, $body, 'text/xml; charset=windows-1251');
