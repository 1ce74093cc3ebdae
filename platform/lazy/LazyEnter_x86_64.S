/* Where a trampoline's first call lands (its slot still points at its stub, which put the
 * symbol's index in %r11): the caller's arguments are kept, the symbol is resolved, and
 * the call goes on to it as if the trampoline had jumped there directly. Saved: the six
 * integer argument registers, %rax (the vector register count of a variadic call) and
 * %xmm0-7 (floating-point arguments: cairo's colours and coordinates go there). */
	.section .note.GNU-stack,"",@progbits
	.text
	.p2align 4
	.globl tilo_lazy_enter
	.hidden tilo_lazy_enter
	.type tilo_lazy_enter,@function
tilo_lazy_enter:
	.cfi_startproc
	pushq %rbp
	.cfi_def_cfa_offset 16
	.cfi_offset %rbp, -16
	movq %rsp, %rbp
	.cfi_def_cfa_register %rbp
	subq $192, %rsp
	andq $-16, %rsp
	movq %rdi, 0(%rsp)
	movq %rsi, 8(%rsp)
	movq %rdx, 16(%rsp)
	movq %rcx, 24(%rsp)
	movq %r8, 32(%rsp)
	movq %r9, 40(%rsp)
	movq %rax, 48(%rsp)
	movdqa %xmm0, 64(%rsp)
	movdqa %xmm1, 80(%rsp)
	movdqa %xmm2, 96(%rsp)
	movdqa %xmm3, 112(%rsp)
	movdqa %xmm4, 128(%rsp)
	movdqa %xmm5, 144(%rsp)
	movdqa %xmm6, 160(%rsp)
	movdqa %xmm7, 176(%rsp)
	movl %r11d, %edi
	call tilo_lazy_resolve
	movq %rax, %r11
	movq 0(%rsp), %rdi
	movq 8(%rsp), %rsi
	movq 16(%rsp), %rdx
	movq 24(%rsp), %rcx
	movq 32(%rsp), %r8
	movq 40(%rsp), %r9
	movq 48(%rsp), %rax
	movdqa 64(%rsp), %xmm0
	movdqa 80(%rsp), %xmm1
	movdqa 96(%rsp), %xmm2
	movdqa 112(%rsp), %xmm3
	movdqa 128(%rsp), %xmm4
	movdqa 144(%rsp), %xmm5
	movdqa 160(%rsp), %xmm6
	movdqa 176(%rsp), %xmm7
	movq %rbp, %rsp
	popq %rbp
	.cfi_def_cfa %rsp, 8
	jmp *%r11
	.cfi_endproc
	.size tilo_lazy_enter,.-tilo_lazy_enter

/* Stands in for every function of a library that cannot be used (tilo_lazy_resolve): the
 * call returns at once with zero in the integer and floating-point return registers. */
	.p2align 4
	.globl tilo_lazy_unavailable
	.hidden tilo_lazy_unavailable
	.type tilo_lazy_unavailable,@function
tilo_lazy_unavailable:
	.cfi_startproc
	xorl %eax, %eax
	xorl %edx, %edx
	pxor %xmm0, %xmm0
	pxor %xmm1, %xmm1
	ret
	.cfi_endproc
	.size tilo_lazy_unavailable,.-tilo_lazy_unavailable
