<?php
// The router of PHP's built-in server (php -S 127.0.0.1:PORT -t DIR router.php): the same
// endpoints as under nginx and PHP-FPM, at the same paths.
$path = parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH);
if ($path === '/ru/99') {
    require __DIR__ . '/auth.php';
} elseif ($path === '/upload') {
    require __DIR__ . '/upload.php';
} else {
    http_response_code(404);
    header('Content-Type: text/plain');
    echo 'no such resource';
}
