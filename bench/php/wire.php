<?php
// The wire protocol's server side for the real-server runs (bench/real_servers.py): what the
// reference service (tools/refserver) answers, written as a PHP service would be. Included by
// auth.php, upload.php and router.php. Settings come from the FastCGI parameters (nginx's
// fastcgi_param) or, under PHP's built-in server, from the environment:
//   ZK_STORE        folder of the received files (required for uploads)
//   ZK_UPLOAD_HOST  host the authentication answer names for uploads (127.0.0.1)
//   ZK_UPLOAD_PORT  its port (this server's own port unless given)
//   ZK_PARAMS       PARAM elements to push, as a query string: AUTH_TIMEOUT=30&UPLOAD_CHUNK_SIZE=2
// The store is the reference service's: <store>/<UID>/<AID>/<number>_<name>, and a line per
// accepted file in <store>/received.tsv (number, size, stored name, fn in UTF-8); beside it
// times.tsv gives, per number, when the request began and when it was accepted (ms since 1970).

const ZK_USER = 'loader';
const ZK_PASSWORD = 'malvoro';
const ZK_UID = '17';
const ZK_AID = '42';
const ZK_HTTP_LOGIN = 'uploader';
const ZK_HTTP_PASSWORD = 's3cret';
const ZK_UPLOAD_PATH = '/upload';

function zk_conf(string $name, string $fallback = ''): string {
    if (isset($_SERVER[$name]) && $_SERVER[$name] !== '') return (string)$_SERVER[$name];
    $v = getenv($name);
    return $v === false || $v === '' ? $fallback : $v;
}

function zk_1251(string $utf8): string {
    return iconv('UTF-8', 'CP1251', $utf8);
}

function zk_from_1251(string $bytes): string {
    $out = @iconv('CP1251', 'UTF-8', $bytes);
    return $out === false ? '' : $out;
}

// A text answer: the status, and the body in windows-1251 as the reference service sends it.
function zk_answer(int $status, string $body, string $type = 'text/plain; charset=windows-1251'): void {
    http_response_code($status);
    header('Content-Type: ' . $type);
    header('Content-Length: ' . strlen($body));
    echo $body;
}

function zk_xml_attr(string $v): string {
    return str_replace(['&', '"', '<'], ['&amp;', '&quot;', '&lt;'], $v);
}

// Whether the request carries the upload endpoint's Basic authorization.
function zk_authorized(): bool {
    $want = 'Basic ' . base64_encode(ZK_HTTP_LOGIN . ':' . ZK_HTTP_PASSWORD);
    $got = $_SERVER['HTTP_AUTHORIZATION'] ?? '';
    if ($got === '' && isset($_SERVER['PHP_AUTH_USER']))
        $got = 'Basic ' . base64_encode($_SERVER['PHP_AUTH_USER'] . ':' . ($_SERVER['PHP_AUTH_PW'] ?? ''));
    return hash_equals($want, $got);
}

// A query value, percent- and plus-decoded into its raw bytes (PHP's own $_GET would do the
// same, but drops a key seen twice).
function zk_query_value(string $query, string $key): ?string {
    foreach (explode('&', $query) as $pair) {
        $eq = strpos($pair, '=');
        if ($eq !== false && substr($pair, 0, $eq) === $key) return urldecode(substr($pair, $eq + 1));
    }
    return null;
}

function zk_now_ms(): int {
    return (int)round(microtime(true) * 1000);
}
