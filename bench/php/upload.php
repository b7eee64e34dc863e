<?php
// The upload endpoint. GET with the Basic authorization: the endpoint check ("OK").
// POST ?&fn=<path>: a multipart/form-data body of two file parts, DESCRIPTOR (an XML file in
// UTF-8 with a byte-order mark) and IMAGE, parsed by PHP's own multipart parser ($_FILES). The
// descriptor must be well-formed, name this client and album, give the bytes received as its
// size and fn as its file name; the IMAGE part's file name must be fn too (fn and the part's
// name in windows-1251). The file is then stored and "OK" answered (text/plain), else
// "ERROR: <reason>", as the reference service does.
require_once __DIR__ . '/wire.php';

function zk_refuse(string $reason, int $status = 200): void {
    zk_answer($status, 'ERROR: ' . $reason);
}

// The client names the file after the query: "&fn=" and the path URL-encoded (letters, digits,
// "+" and %XX only).
function zk_fn_query_well_formed(string $query): bool {
    return preg_match('/^&fn=(?:[A-Za-z0-9+]|%[0-9A-Fa-f]{2})+$/', $query) === 1;
}

// Stores the file under the next number; false when the store fails.
function zk_store(string $tmp, int $size, string $fn): bool {
    $root = zk_conf('ZK_STORE');
    if ($root === '') return false;
    $folder = $root . '/' . ZK_UID . '/' . ZK_AID;
    if (!is_dir($folder) && !@mkdir($folder, 0777, true) && !is_dir($folder)) return false;
    $lock = fopen($root . '/.lock', 'c');
    if ($lock === false || !flock($lock, LOCK_EX)) return false;
    try {
        $count = (int)@file_get_contents($root . '/.count') + 1;
        $cut = max(strrpos($fn, '\\') === false ? -1 : strrpos($fn, '\\'), strrpos($fn, '/') === false ? -1 : strrpos($fn, '/'));
        $name = $count . '_' . substr($fn, $cut + 1);
        if (!move_uploaded_file($tmp, $folder . '/' . $name)) return false;
        $line = $count . "\t" . $size . "\t" . $name . "\t" . $fn . "\n";
        $began = (int)round(($_SERVER['REQUEST_TIME_FLOAT'] ?? microtime(true)) * 1000);
        $time = $count . "\t" . $began . "\t" . zk_now_ms() . "\n";
        return file_put_contents($root . '/received.tsv', $line, FILE_APPEND) === strlen($line) &&
               file_put_contents($root . '/times.tsv', $time, FILE_APPEND) === strlen($time) &&
               file_put_contents($root . '/.count', (string)$count) !== false;
    } finally {
        flock($lock, LOCK_UN);
        fclose($lock);
    }
}

function zk_upload(): void {
    if (!zk_authorized()) {
        zk_refuse('authorization required', 401);
        return;
    }
    $type = $_SERVER['CONTENT_TYPE'] ?? '';
    if (stripos($type, 'multipart/form-data') !== 0 || stripos($type, 'boundary=') === false) {
        zk_refuse('not multipart/form-data');
        return;
    }
    if (count($_POST) !== 0 || array_keys($_FILES) !== ['DESCRIPTOR', 'IMAGE'] || is_array($_FILES['IMAGE']['name'])) {
        zk_refuse('expected the file parts DESCRIPTOR and IMAGE');
        return;
    }
    foreach ($_FILES as $part => $f) {
        if ($f['error'] !== UPLOAD_ERR_OK) {
            zk_refuse('the part ' . $part . ' did not arrive whole (PHP upload error ' . $f['error'] . ')');
            return;
        }
    }
    $desc = file_get_contents($_FILES['DESCRIPTOR']['tmp_name']);
    if ($desc === false || strncmp($desc, "\xEF\xBB\xBF", 3) !== 0) {
        zk_refuse('descriptor without byte-order mark');
        return;
    }
    $doc = new DOMDocument();
    $previous = libxml_use_internal_errors(true);
    $parsed = $doc->loadXML(substr($desc, 3), LIBXML_NONET);
    $errors = libxml_get_errors();
    libxml_clear_errors();
    libxml_use_internal_errors($previous);
    if (!$parsed || $errors) {
        zk_refuse('descriptor is not well-formed: ' . ($errors ? trim($errors[0]->message) : 'no document'));
        return;
    }
    $root = $doc->documentElement;
    $client = $doc->getElementsByTagName('CLIENT')->item(0);
    $album = $doc->getElementsByTagName('ALBUM')->item(0);
    $file = $doc->getElementsByTagName('FILE')->item(0);
    if (!$root || $root->tagName !== 'DESCRIPTOR' || !$client || !$album || !$file) {
        zk_refuse('descriptor lacks DESCRIPTOR, CLIENT, ALBUM or FILE');
        return;
    }
    if (!$client->hasAttribute('id') || !$album->hasAttribute('id')) {
        zk_refuse('descriptor lacks the id of CLIENT or ALBUM');
        return;
    }
    if ($client->getAttribute('id') !== ZK_UID || $album->getAttribute('id') !== ZK_AID) {
        zk_refuse('descriptor names another client or album');
        return;
    }
    clearstatcache();
    $size = filesize($_FILES['IMAGE']['tmp_name']);
    if (!$file->hasAttribute('size') || $file->getAttribute('size') !== (string)$size || $size !== $_FILES['IMAGE']['size']) {
        zk_refuse('size attribute differs from the bytes received');
        return;
    }
    $query = $_SERVER['QUERY_STRING'] ?? '';
    if (!zk_fn_query_well_formed($query)) {
        zk_refuse('query is not the upload path, "?", "&fn=" and the encoded path');
        return;
    }
    $fn = zk_from_1251(zk_query_value($query, 'fn') ?? '');
    $partName = zk_from_1251($_FILES['IMAGE']['full_path'] ?? $_FILES['IMAGE']['name']);
    if ($fn === '' || $fn !== $partName || $fn !== $file->getAttribute('name')) {
        zk_refuse('fn, file name and descriptor name differ');
        return;
    }
    if (!zk_store($_FILES['IMAGE']['tmp_name'], $size, $fn)) {
        zk_refuse('cannot store the file');
        return;
    }
    zk_answer(200, 'OK');
}

if ($_SERVER['REQUEST_METHOD'] === 'GET') {
    if (zk_authorized()) zk_answer(200, 'OK');
    else zk_answer(401, 'authorization required');
} elseif ($_SERVER['REQUEST_METHOD'] === 'POST') {
    zk_upload();
} else {
    zk_answer(405, 'method not allowed');
}
